// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Generated tariff tables of any size, with the schema of sample/ncm.sql, and the
// raw drivers the whole data path is compared with.

#include <QString>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

struct sqlite3;
struct pg_conn;

// Row i of a generated table: key "dddd.dd.dd" / "d00" / letter, in key order, so
// that loading appends to the index instead of splitting it at random.
[[nodiscard]] QString posicionGenerada(std::int64_t i);
[[nodiscard]] QString unidadGenerada(std::int64_t i);
// A position of the right form that no generated table holds.
[[nodiscard]] QString posicionAusente(std::int64_t i);

// The CREATE TABLE statement of the sample database.
[[nodiscard]] QString esquemaMuestra(const QString &rutaMuestra);

class ErrorBench : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// sqlite3's C API: prepare, step, finalize, as a program without Qt would run a text.
class SqliteCrudo {
public:
    explicit SqliteCrudo(const QString &ruta);
    ~SqliteCrudo();
    SqliteCrudo(const SqliteCrudo &) = delete;
    SqliteCrudo &operator=(const SqliteCrudo &) = delete;

    // The first column of the first row ("" for null), or nothing without a row.
    std::optional<std::string> consultar(const std::string &sql);
    // The number of rows changed.
    int ejecutar(const std::string &sql);
    std::vector<std::string> columna(const std::string &sql, int col);

private:
    sqlite3 *db_ = nullptr;
};

// libpq, one PQexec per text.
class PgCrudo {
public:
    explicit PgCrudo(const std::string &conninfo);
    ~PgCrudo();
    PgCrudo(const PgCrudo &) = delete;
    PgCrudo &operator=(const PgCrudo &) = delete;

    std::optional<std::string> consultar(const std::string &sql);
    int ejecutar(const std::string &sql);
    std::vector<std::string> columna(const std::string &sql, int col);

private:
    pg_conn *c_ = nullptr;
};

// Makes (or reuses, when it already holds this schema and row count) a SQLite file
// with `filas` generated rows. Returns true when it had to generate it.
bool prepararSqlite(const QString &ruta, const QString &esquema, std::int64_t filas);

// (Re)creates database `nombre` on the server of `urlAdmin` holding `filas` generated rows.
void prepararPostgres(const std::string &urlAdmin, const std::string &nombre, const QString &esquema,
                      std::int64_t filas);

// A libpq URL or key/value string naming database `nombre` instead of its own.
[[nodiscard]] std::string urlConBase(const std::string &url, const std::string &nombre);
