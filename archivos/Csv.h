// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// CSV as RFC 4180 writes it: the batches users write, the journal the program keeps.

#include <QString>
#include <QStringList>
#include <QStringView>

#include <QByteArray>

#include <functional>
#include <initializer_list>
#include <vector>

struct FilaCsv {
    int linea = 0; // where the row begins, counting from 1
    QStringList campos;
};

// Splits CSV text (a field in double quotes may hold the separator, line ends and
// quotes written twice; LF, CRLF or a lone CR ends a row). A quote opens a quoted
// field only at its start; elsewhere it is kept as written. With `recortar`, as for
// a file typed by hand, blanks around a field's unquoted text are dropped and may
// stand before its opening quote. When the text ends inside quotes, *sinCerrar is
// the line where that row began and the row is dropped; otherwise 0.
[[nodiscard]] std::vector<FilaCsv> partirCsv(QStringView texto, QChar separador, bool recortar, int *sinCerrar);

// The same reading handed on as it goes, for text too large to hold as rows of
// strings: each field (the view lasts until the call returns), then each row's end
// with the line where it began. A row left inside quotes gets its fields but no end;
// its line is the answer, else 0.
struct LectorCsv {
    std::function<void(QStringView campo)> campo;
    std::function<void(int linea)> finDeFila;
};
[[nodiscard]] int recorrerCsv(QStringView texto, QChar separador, bool recortar, const LectorCsv &lector);

// One CSV line (without its line end), fields quoted where they need it, with CR and
// LF in a field written as blanks so that the line stays one physical line.
[[nodiscard]] QString lineaCsv(const QStringList &campos);
// The same line appended to `destino` in UTF-8, without its line end.
void agregarLineaCsv(QByteArray &destino, std::initializer_list<QStringView> campos);
