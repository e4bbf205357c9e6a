// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the program's own files share: CSV text split into rows, and the system's
// reasons for a failed read or write in the user's words.

#include <QString>
#include <QStringList>
#include <QStringView>

#include <vector>

struct FilaCsv {
    int linea = 0; // where the row begins, counting from 1
    QStringList campos;
};

// Splits CSV text (RFC 4180: a field in double quotes may hold the separator, line
// ends and quotes written twice; LF, CRLF or a lone CR ends a row). A quote opens a quoted
// field only at its start; elsewhere it is kept as written. With `recortar`, as for
// a file typed by hand, blanks around a field's unquoted text are dropped and may
// stand before its opening quote. When the text ends inside quotes, *sinCerrar is
// the line where that row began and the row is dropped; otherwise 0.
[[nodiscard]] std::vector<FilaCsv> partirCsv(QStringView texto, QChar separador, bool recortar, int *sinCerrar);

enum class Acceso { Lectura, Escritura };

// Why a file could not be read or written, from errno, in Spanish; an errno without
// a text of its own reads "error del sistema N (the C library's text)".
[[nodiscard]] QString motivoDelSistema(int error, Acceso acceso);
