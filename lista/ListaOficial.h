// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The official tariff list, as imported into the local index: what the window, the
// search and the reconciliation read. Importing is in Importacion.h.

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

// A full position of the list ("5408.22.00.111F").
struct Partida {
    QString posicion;
    QString unidad; // two digits as the list gives them; empty when it gives none
    QString descripcion; // its own text, blanks and dashes of the depth removed
    QStringList encabezados; // the headings' texts above it, the outermost first

    // The headings and the description joined by " › ".
    [[nodiscard]] QString descripcionCompleta() const;
};

// What the index says of the list it holds.
struct DatosDeLista {
    QString archivo; // the file's name as imported (the zip's member when from a zip)
    qint64 tamano = 0;
    QString sha256; // of the file imported, in hexadecimal
    QDate fecha; // of the list, from the file's name; invalid when the name has none
    QDateTime importada;
    qint64 posiciones = 0;
    qint64 encabezados = 0;
    qint64 otrosTipos = 0; // lines of other record types, skipped
    qint64 ilegibles = 0;
    qint64 letrasDistintas = 0; // positions whose check letter is not the rule's
    qint64 unidadesDesconocidas = 0; // units not in the table of unit codes
    QString ruta; // the index file
};

// An index that cannot be read, or a list that cannot be imported: the message says
// which and why, in Spanish, ready for the user.
class ErrorDeLista : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    [[nodiscard]] QString mensaje() const { return QString::fromUtf8(what()); }
};

class ListaOficial {
public:
    virtual ~ListaOficial() = default;

    // The list in use: the user's, under $XDG_DATA_HOME/telquin, else the first found
    // under $XDG_DATA_DIRS (read-only). None when no list was imported; ErrorDeLista
    // when one is there and cannot be read.
    [[nodiscard]] static std::unique_ptr<ListaOficial> enUso();
    // The index at that path, read-only.
    [[nodiscard]] static std::unique_ptr<ListaOficial> abrir(const QString &ruta);

    [[nodiscard]] virtual const DatosDeLista &datos() const = 0;
    // The full position, as typed with its check letter; none when the list lacks it.
    [[nodiscard]] virtual std::optional<Partida> partida(const QString &posicion) const = 0;
    // Every full position with its unit, sorted by position (descriptions left empty).
    virtual void recorrer(const std::function<void(const QString &posicion, const QString &unidad)> &f) const = 0;
    // The positions that match the words, best first (FTS5's rank), at most `maximo`.
    [[nodiscard]] virtual std::vector<Partida> buscar(const QString &palabras, int maximo) const = 0;
    // The full positions under a position or the start of one ("8536.90",
    // "5408.22.00.1"), in the list's order, at most `maximo`.
    [[nodiscard]] virtual std::vector<Partida> bajo(const QString &prefijo, int maximo) const = 0;
};
