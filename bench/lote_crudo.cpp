// SPDX-License-Identifier: GPL-3.0-or-later
// The baseline of `telquin lote`: a program with no Qt and no checks that reads the
// same CSV and sends the same statement texts through the raw driver, all lookups,
// then all updates, in one transaction, printing one line per row.
//
//   telquin_lote_crudo sqlite PATH CSV [--solo-consultas]
//   telquin_lote_crudo pg CONNINFO CSV [--solo-consultas]
//
// --solo-consultas: the lookups only, each on its own, as `telquin lote` checks
// without --aplicar.

#include "LoteCsv.h"

#include <libpq-fe.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Fila = FilaDeLote;

std::string literal(const std::string &valor)
{
    std::string salida;
    for (const char c : valor) {
        salida += c;
        if (c == '\'')
            salida += '\'';
    }
    return salida;
}

// The texts Telquin sends: SQLite takes [012] as written, PostgreSQL gets "012".
std::string condicion(const std::string &p, const char *abre, const char *cierra)
{
    const std::string a(abre), c(cierra);
    return "  " + a + "001" + c + " = '" + literal(p.substr(0, 10)) + "' AND  " + a + "002" + c + " = '"
        + literal(p.size() > 11 ? p.substr(11, 3) : "") + "' AND  " + a + "003" + c + " = '"
        + literal(p.size() > 14 ? p.substr(14, 1) : "") + "'";
}

class Base {
public:
    virtual ~Base() = default;
    virtual void ejecutar(const std::string &sql) = 0;
    virtual std::optional<std::string> consultar(const std::string &sql) = 0;
    virtual int actualizar(const std::string &sql) = 0;
    virtual const char *abre() const = 0;
    virtual const char *cierra() const = 0;
};

class Sqlite final : public Base {
public:
    explicit Sqlite(const std::string &ruta)
    {
        if (sqlite3_open_v2(ruta.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
            throw std::runtime_error("sqlite: " + std::string(sqlite3_errmsg(db_)));
        sqlite3_busy_timeout(db_, 5000);
    }
    ~Sqlite() override { sqlite3_close(db_); }
    void ejecutar(const std::string &sql) override
    {
        if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
            throw std::runtime_error("sqlite: " + std::string(sqlite3_errmsg(db_)));
    }
    std::optional<std::string> consultar(const std::string &sql) override
    {
        sqlite3_stmt *st = preparar(sql);
        const int rc = sqlite3_step(st);
        std::optional<std::string> valor;
        if (rc == SQLITE_ROW) {
            const auto *t = sqlite3_column_text(st, 0);
            valor.emplace(t ? reinterpret_cast<const char *>(t) : "");
        }
        sqlite3_finalize(st);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE)
            throw std::runtime_error("sqlite: " + std::string(sqlite3_errmsg(db_)));
        return valor;
    }
    int actualizar(const std::string &sql) override
    {
        sqlite3_stmt *st = preparar(sql);
        const int rc = sqlite3_step(st);
        sqlite3_finalize(st);
        if (rc != SQLITE_DONE)
            throw std::runtime_error("sqlite: " + std::string(sqlite3_errmsg(db_)));
        return sqlite3_changes(db_);
    }
    const char *abre() const override { return "["; }
    const char *cierra() const override { return "]"; }

private:
    sqlite3_stmt *preparar(const std::string &sql)
    {
        sqlite3_stmt *st = nullptr;
        if (sqlite3_prepare_v2(db_, sql.data(), int(sql.size()), &st, nullptr) != SQLITE_OK)
            throw std::runtime_error("sqlite: " + std::string(sqlite3_errmsg(db_)));
        return st;
    }
    sqlite3 *db_ = nullptr;
};

class Postgres final : public Base {
public:
    explicit Postgres(const std::string &conninfo) : c_(PQconnectdb(conninfo.c_str()))
    {
        if (PQstatus(c_) != CONNECTION_OK)
            throw std::runtime_error("libpq: " + std::string(PQerrorMessage(c_)));
    }
    ~Postgres() override { PQfinish(c_); }
    void ejecutar(const std::string &sql) override { PQclear(exigir(sql, PGRES_COMMAND_OK)); }
    std::optional<std::string> consultar(const std::string &sql) override
    {
        PGresult *r = exigir(sql, PGRES_TUPLES_OK);
        std::optional<std::string> valor;
        if (PQntuples(r) > 0)
            valor.emplace(PQgetvalue(r, 0, 0));
        PQclear(r);
        return valor;
    }
    int actualizar(const std::string &sql) override
    {
        PGresult *r = exigir(sql, PGRES_COMMAND_OK);
        const int n = std::atoi(PQcmdTuples(r));
        PQclear(r);
        return n;
    }
    const char *abre() const override { return "\""; }
    const char *cierra() const override { return "\""; }

private:
    PGresult *exigir(const std::string &sql, ExecStatusType esperado)
    {
        PGresult *r = PQexec(c_, sql.c_str());
        if (PQresultStatus(r) != esperado) {
            PQclear(r);
            throw std::runtime_error("libpq: " + std::string(PQerrorMessage(c_)));
        }
        return r;
    }
    PGconn *c_;
};

} // namespace

int main(int argc, char **argv)
{
    if (argc < 4 || (std::strcmp(argv[1], "sqlite") != 0 && std::strcmp(argv[1], "pg") != 0)) {
        std::fprintf(stderr, "usage: telquin_lote_crudo sqlite|pg PATH|CONNINFO CSV [--solo-consultas]\n");
        return 2;
    }
    const bool soloConsultas = argc > 4 && std::strcmp(argv[4], "--solo-consultas") == 0;
    try {
        const bool sqlite = std::strcmp(argv[1], "sqlite") == 0;
        std::unique_ptr<Base> db;
        if (sqlite)
            db = std::make_unique<Sqlite>(argv[2]);
        else
            db = std::make_unique<Postgres>(argv[2]);
        const std::vector<Fila> filas = leerLoteCsv(argv[3]);
        const std::string a = db->abre(), c = db->cierra();

        if (!soloConsultas)
            db->ejecutar(sqlite ? "BEGIN IMMEDIATE" : "BEGIN");
        std::vector<std::string> actuales;
        actuales.reserve(filas.size());
        for (std::size_t i = 0; i < filas.size(); ++i) {
            const auto valor = db->consultar("Select " + a + "012" + c + " from Ncm Where"
                                             + condicion(filas[i].posicion, a.c_str(), c.c_str()));
            actuales.push_back(valor.value_or(""));
            std::printf("%zu\t%s\t%s\t%s\n", i + 2, filas[i].posicion.c_str(), actuales.back().c_str(),
                        filas[i].unidad.c_str());
        }
        if (!soloConsultas) {
            for (const Fila &f : filas)
                if (db->actualizar("Update NCM SET " + a + "012" + c + " = '" + literal(f.unidad) + "' WHERE"
                                   + condicion(f.posicion, a.c_str(), c.c_str()))
                    <= 0)
                    throw std::runtime_error("no row for " + f.posicion);
            db->ejecutar("COMMIT");
        }
    } catch (const std::exception &e) {
        std::fprintf(stderr, "telquin_lote_crudo: %s\n", e.what());
        return 1;
    }
    return 0;
}
