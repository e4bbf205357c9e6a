// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A batch of unit changes read from CSV, checked against the database and, when asked
// and every row is right, stored in one transaction and noted in the journal.

#include "data/Contrato.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <array>
#include <exception>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <vector>

struct FilaLote {
    int linea = 0; // in the file, counting from 1, where the row begins
    QStringList campos;
};

// Walks a container by index, handing out each element by value as its operator[]
// makes it.
template <typename Contenedor, typename Valor>
class IteradorPorIndice {
public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = Valor;
    using difference_type = qsizetype;
    using pointer = void;
    using reference = Valor;
    IteradorPorIndice(const Contenedor *contenedor, qsizetype i) : contenedor_(contenedor), i_(i) { }
    Valor operator*() const { return (*contenedor_)[i_]; }
    IteradorPorIndice &operator++()
    {
        ++i_;
        return *this;
    }
    bool operator==(const IteradorPorIndice &otro) const { return i_ == otro.i_; }
    bool operator!=(const IteradorPorIndice &otro) const { return i_ != otro.i_; }

private:
    const Contenedor *contenedor_;
    qsizetype i_;
};

// A batch file's rows, compact: every field's text one after another in one string,
// each row its line and where its fields begin. A copy shares the text.
class FilasLote {
public:
    [[nodiscard]] qsizetype size() const { return qsizetype(d_->filas.size()); }
    [[nodiscard]] bool empty() const { return d_->filas.empty(); }
    [[nodiscard]] int linea(qsizetype fila) const { return d_->filas[std::size_t(fila)].linea; }
    [[nodiscard]] qsizetype campos(qsizetype fila) const;
    // Empty past the row's last field. The view lasts while a copy of these rows does.
    [[nodiscard]] QStringView campo(qsizetype fila, qsizetype i) const;
    [[nodiscard]] FilaLote operator[](qsizetype fila) const;

    using const_iterator = IteradorPorIndice<FilasLote, FilaLote>;
    [[nodiscard]] const_iterator begin() const { return {this, 0}; }
    [[nodiscard]] const_iterator end() const { return {this, size()}; }

    // Building, for the reader: a field of the row being read, that row's end (a row
    // whose fields are all empty is left out).
    void reservar(qsizetype caracteres);
    void agregarCampo(QStringView campo);
    void terminarFila(int linea);
    void quitarPrimera();
    void vaciar();
    void ajustar(); // once read: gives back the room not used

private:
    struct Fila {
        int linea;
        quint32 primerCampo; // in finDeCampo
    };
    struct Datos {
        QString texto;
        std::vector<quint32> finDeCampo; // where each field ends in texto
        std::vector<Fila> filas;
        quint32 pendiente = 0; // the first field of the row being read
    };
    Datos &escribir();

    std::shared_ptr<Datos> d_ = std::make_shared<Datos>();
};

struct ArchivoLote {
    FilasLote filas; // without the header and blank rows
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

// The same, its texts seen where the batch keeps them: valid while the Revisiones
// that gave it live.
struct VistaRevision {
    int linea = 0;
    QStringView posicion;
    QStringView actual;
    QStringView nueva;
    Resultado resultado = Resultado::FormatoIncorrecto;
    QString nota;
};

// Every row's outcome, compact: each distinct position once, with what was read for
// it, and each unit text once; a row holds indices into them.
class Revisiones {
public:
    [[nodiscard]] qsizetype size() const { return qsizetype(filas.size()); }
    [[nodiscard]] bool empty() const { return filas.empty(); }
    [[nodiscard]] VistaRevision vista(qsizetype fila) const;
    [[nodiscard]] Revision operator[](qsizetype fila) const;

    using const_iterator = IteradorPorIndice<Revisiones, Revision>;
    [[nodiscard]] const_iterator begin() const { return {this, 0}; }
    [[nodiscard]] const_iterator end() const { return {this, size()}; }

    // What the check keeps; filled in Lote.cpp.
    struct Fila {
        qint32 posicion; // in posiciones, -1 for a row not well written
        qint32 nueva; // in unidades
        Resultado resultado;
    };
    struct Posicion {
        quint32 fila; // the first row that names it, whose first field is its text
        qint32 actual = -1; // in unidades, as the lookup read it; -1: no row has it
        // The unit its update replaced, for the journal and its first row's line:
        // read again before the update on the per-row road.
        qint32 anterior = -1;
        qint32 pedida = -1; // the unit its first row asks for
        bool repetida = false; // another row asks for another unit
    };
    FilasLote archivo;
    std::vector<Fila> filas;
    std::vector<Posicion> posiciones;
    QStringList unidades;
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
    Revisiones revisiones; // every row's, once the check is complete
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
[[nodiscard]] ResultadoLote procesarLote(Componente &oDAM, const FilasLote &filas, const OpcionesDeLote &opciones,
                                         const Seguimiento &seguimiento = {});
