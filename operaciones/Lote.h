// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A batch of unit changes read from CSV, checked against the database and, when asked
// and every row is right, stored in one transaction and noted in the journal.

#include "data/Contrato.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>
#include <exception>
#include <functional>
#include <optional>
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

// How a batch tells its progress and learns that it must stop.
struct Seguimiento {
    // A new stage: "Revisadas" while checking, "Guardadas" while storing.
    std::function<void(const QString &participio, qsizetype total)> etapa = [](const QString &, qsizetype) {};
    std::function<void(qsizetype hechas)> avance = [](qsizetype) {};
    // Asked between rows, or chunks of rows, and before the commit: true stops the
    // batch, storing nothing.
    std::function<bool()> interrumpir = [] { return false; };
    // Whether a request to stop may also stop the statement that is running: on
    // while the rows are read and written, off from before the commit on.
    std::function<void(bool)> cancelable = [](bool) {};
};

enum class FinDeLote {
    Revisado, // checked only
    ConErrores, // some rows have errors: nothing stored
    Guardado, // stored and committed
    SinCambiarFila, // an update changed no row: nothing stored
    Interrumpido, // stopped on request: nothing stored
    FalloDeBase, // the database failed or stayed busy while storing: nothing stored
    Incierto, // the commit's answer was lost: stored or not, nobody can tell now
    SinTransacciones, // the component cannot store a batch all at once: nothing done
};

// Rows per statement where the component takes whole chunks (FilasEnBloque); chosen by
// measurement (see docs/benchmarks.md).
inline constexpr qsizetype kFilasPorTrozo = 5000;

struct OpcionesDeLote {
    bool aplicar = false;
    // One lookup and one update per row even where the component takes whole chunks:
    // the road for a component without FilasEnBloque, kept callable to measure it.
    bool porFila = false;
    qsizetype filasPorTrozo = kFilasPorTrozo;
};

struct ResultadoLote {
    std::vector<Revision> revisiones; // every row's, once the check is complete
    FinDeLote fin = FinDeLote::Revisado;
    bool revisado = false; // the check reached the last row
    qsizetype errores = 0; // rows whose outcome is an error
    qsizetype guardados = 0; // changes stored
    qsizetype sinCambiarFila = -1; // index of the row whose update changed nothing
    std::exception_ptr fallo; // the component's error, with FalloDeBase
    std::optional<QString> avisoBitacora; // stored but not noted: the warning to show
};

// Checks every row; a row's result is the first that applies of: formato incorrecto
// (not a position, or more than two fields), no encontrada, unidad incorrecta,
// repetida (the same position elsewhere in the file with another unit), igual,
// cambia. The lookups go a chunk at a time where the component offers FilasEnBloque,
// else one per position.
//
// With `aplicar`, all happens in one transaction: the batch's rows are locked in key
// order and read, each row's result is decided from what was read there, the rows
// that change are updated, and the transaction is committed; then the changes are
// noted in the journal, each with the unit its update replaced. A deadlock rolls the
// transaction back and runs it again, three tries in all. Without FilasEnBloque each
// row is read again just before its update.
//
// A component error while checking is raised; one while storing ends the batch as
// FalloDeBase, so that the check's rows can still be shown.
[[nodiscard]] ResultadoLote procesarLote(Componente &oDAM, const std::vector<FilaLote> &filas,
                                         const OpcionesDeLote &opciones, const Seguimiento &seguimiento = {});
