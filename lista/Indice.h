// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The local index of the official list: one SQLite file with the positions in the
// list's order, what the list was, and a full-text index (FTS5) over each position's
// description and its headings.

#include "lista/ListaOficial.h"

struct sqlite3;
struct sqlite3_stmt;

// The index's format; an index of another one is not read.
inline constexpr int kVersionDeIndice = 1;

// The user's index, which an import replaces: $XDG_DATA_HOME/telquin/lista.sqlite.
[[nodiscard]] QString rutaPropiaDeLaLista();
// Where the list in use is looked for, in order: the user's, then one under each
// folder of $XDG_DATA_DIRS.
[[nodiscard]] QStringList rutasDeLaLista();

// A new index written at a path, in one transaction; it is whole only once terminar()
// returns. Every failure is an ErrorDeLista.
class EscritorDeIndice {
public:
    explicit EscritorDeIndice(const QString &ruta);
    ~EscritorDeIndice();
    EscritorDeIndice(const EscritorDeIndice &) = delete;
    EscritorDeIndice &operator=(const EscritorDeIndice &) = delete;

    void partida(const QString &posicion, const QString &unidad, const QString &descripcion,
                 const QStringList &encabezados);
    void terminar(const DatosDeLista &datos);

private:
    void ejecutar(const char *sql);
    [[noreturn]] void fallar(const QString &que);

    QString ruta_;
    sqlite3 *base_ = nullptr;
    sqlite3_stmt *enPartidas_ = nullptr;
    sqlite3_stmt *enBusqueda_ = nullptr;
    qint64 orden_ = 0;
};

// An index read-only.
class IndiceSqlite : public ListaOficial {
public:
    explicit IndiceSqlite(const QString &ruta);
    ~IndiceSqlite() override;
    IndiceSqlite(const IndiceSqlite &) = delete;
    IndiceSqlite &operator=(const IndiceSqlite &) = delete;

    [[nodiscard]] const DatosDeLista &datos() const override { return datos_; }
    [[nodiscard]] std::optional<Partida> partida(const QString &posicion) const override;
    void recorrer(const std::function<void(const QString &posicion, const QString &unidad)> &f) const override;
    [[nodiscard]] std::vector<Partida> buscar(const QString &palabras, int maximo) const override;
    [[nodiscard]] std::vector<Partida> bajo(const QString &prefijo, int maximo) const override;

private:
    [[noreturn]] void fallar(const QString &que) const;
    void leerDatos();

    sqlite3 *base_ = nullptr;
    DatosDeLista datos_;
};

// The words as an FTS5 query that no word can break: each one a quoted string,
// taken as the start of a word ("teñido" finds "teñidos"); the words that hold no
// letter or digit are left out. Empty when none is left.
[[nodiscard]] QString consultaFts(const QString &palabras);
