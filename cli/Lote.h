// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A batch of unit changes read from CSV, and its check against the database.

#include "data/Contrato.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <vector>

struct FilaLote {
    int linea = 0; // in the file, counting from 1, where the row begins
    QStringList campos;
};

struct ArchivoLote {
    std::vector<FilaLote> filas; // without the header and blank rows
    QChar separador = u',';
    bool conCabecera = false;
    QString error; // why the text cannot be read as a batch; no rows then
};

// UTF-8 with or without a byte order mark. The separator is ";" when the first line
// holds one, else ",". The first line is a header when its first field reads
// "posicion" (any case, with or without the accent). Fields may be quoted as in
// RFC 4180; blanks around an unquoted field are dropped, and rows whose fields are
// all empty are skipped. LF, CRLF and a lone CR (classic Mac) all end a line.
[[nodiscard]] ArchivoLote leerLote(QByteArray datos);

enum class Resultado { Cambia, Igual, NoEncontrada, FormatoIncorrecto, UnidadIncorrecta, Repetida };
inline constexpr std::array kResultados
    = {Resultado::Cambia,           Resultado::Igual,   Resultado::NoEncontrada, Resultado::FormatoIncorrecto,
       Resultado::UnidadIncorrecta, Resultado::Repetida};

[[nodiscard]] const QString &nombreDeResultado(Resultado r);
[[nodiscard]] inline bool esError(Resultado r) { return r != Resultado::Cambia && r != Resultado::Igual; }

struct Revision {
    int linea = 0;
    QString posicion; // as written
    QString actual; // the stored unit as the lookup read it, "" for null or without a row
    QString nueva; // normalised as F9 would store it
    Resultado resultado = Resultado::FormatoIncorrecto;
    QString nota; // the check-letter hint, or empty
};

// Called after each row looked up, with how many are done; false stops the check.
using AvanceDeRevision = std::function<bool(qsizetype hechas)>;

// Checks every row with the window's rules and lookups, in order; a row's result is
// the first that applies of: formato incorrecto (not a position, or more than two
// fields), no encontrada, unidad incorrecta, repetida (the same position elsewhere in
// the file with another unit), igual, cambia. Stops early, with fewer results, when
// avance says so. Raises what the component raises.
[[nodiscard]] std::vector<Revision> revisarLote(Componente &oDAM, const std::vector<FilaLote> &filas,
                                                const AvanceDeRevision &avance = {});
