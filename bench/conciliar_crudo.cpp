// SPDX-License-Identifier: GPL-3.0-or-later
// The baseline of `telquin conciliar`: a program with no Qt that makes the same
// comparison with the same statements through the raw driver. It reads the list's
// positions and units from the index, looks them up in the table a chunk at a time
// (the chunked lookup of bench/lote_bloques.cpp --solo-consultas), lists the table's
// keys with one statement, and prints one line per difference sorted by position
// (class, position, the table's unit, the official unit), the count of each class on
// standard error; status 1 when they differ.
//
//   telquin_bench_conciliar_crudo sqlite|pg RUTA|CONNINFO INDICE [--trozo N]

#include <libpq-fe.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <unordered_set>
#include <vector>

namespace {

struct Oficial {
    std::string posicion;
    std::string unidad;
};

struct Diferencia {
    int clase; // 0 unidad distinta, 1 no figura en la lista, 2 falta en la tabla
    std::string posicion;
    std::string tabla;
    std::string oficial;
};

const char *const kClases[] = {"unidad distinta", "no figura en la lista", "falta en la tabla"};

// A row read: its columns as text, nullopt for null.
using Fila = std::vector<std::optional<std::string>>;

class Base {
public:
    virtual ~Base() = default;
    virtual void recorrer(const std::string &sql, const std::function<void(const Fila &)> &porFila) = 0;
};

class Sqlite final : public Base {
public:
    explicit Sqlite(const std::string &ruta, int modo = SQLITE_OPEN_READONLY)
    {
        if (sqlite3_open_v2(ruta.c_str(), &db_, modo, nullptr) != SQLITE_OK)
            throw std::runtime_error("sqlite: " + std::string(sqlite3_errmsg(db_)));
    }
    ~Sqlite() override { sqlite3_close(db_); }
    void recorrer(const std::string &sql, const std::function<void(const Fila &)> &porFila) override
    {
        sqlite3_stmt *st = nullptr;
        if (sqlite3_prepare_v2(db_, sql.data(), int(sql.size()), &st, nullptr) != SQLITE_OK)
            throw std::runtime_error("sqlite: " + std::string(sqlite3_errmsg(db_)));
        int rc;
        Fila fila;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            fila.assign(std::size_t(sqlite3_column_count(st)), std::nullopt);
            for (int i = 0; i < sqlite3_column_count(st); ++i)
                if (const auto *t = sqlite3_column_text(st, i))
                    fila[std::size_t(i)] = std::string(reinterpret_cast<const char *>(t));
            porFila(fila);
        }
        sqlite3_finalize(st);
        if (rc != SQLITE_DONE)
            throw std::runtime_error("sqlite: " + std::string(sqlite3_errmsg(db_)));
    }

private:
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
    void recorrer(const std::string &sql, const std::function<void(const Fila &)> &porFila) override
    {
        PGresult *r = PQexec(c_, sql.c_str());
        if (PQresultStatus(r) != PGRES_TUPLES_OK) {
            PQclear(r);
            throw std::runtime_error("libpq: " + std::string(PQerrorMessage(c_)));
        }
        Fila fila;
        for (int i = 0; i < PQntuples(r); ++i) {
            fila.assign(std::size_t(PQnfields(r)), std::nullopt);
            for (int j = 0; j < PQnfields(r); ++j)
                if (!PQgetisnull(r, i, j))
                    fila[std::size_t(j)] = std::string(PQgetvalue(r, i, j));
            porFila(fila);
        }
        PQclear(r);
    }

private:
    PGconn *c_;
};

void agregarCadenaJson(std::string &json, const std::string &valor)
{
    json += '"';
    for (const char c : valor) {
        if (c == '"' || c == '\\')
            json += '\\';
        json += c;
    }
    json += '"';
}

// The chunk's keys as a JSON array of [code, suffix, letter], quotes doubled.
std::string literalJson(const std::vector<Oficial> &oficiales, std::size_t desde, std::size_t hasta)
{
    std::string json = "[";
    for (std::size_t i = desde; i < hasta; ++i) {
        const std::string &p = oficiales[i].posicion;
        json += i == desde ? "[" : ",[";
        agregarCadenaJson(json, p.substr(0, 10));
        json += ',';
        agregarCadenaJson(json, p.size() > 11 ? p.substr(11, 3) : "");
        json += ',';
        agregarCadenaJson(json, p.size() > 14 ? p.substr(14, 1) : "");
        json += ']';
    }
    json += ']';
    std::string literal;
    for (const char c : json) {
        literal += c;
        if (c == '\'')
            literal += '\'';
    }
    return literal;
}

std::string textoConsulta(bool sqlite, const std::string &json)
{
    std::string texto = sqlite
        ? "WITH v(n, a, b, c) AS (SELECT key, value ->> 0, value ->> 1, value ->> 2 FROM json_each('" + json + "'))"
        : "WITH v(n, a, b, c) AS (SELECT t.n - 1, t.e ->> 0, t.e ->> 1, t.e ->> 2 FROM json_array_elements('" + json
            + "') WITH ORDINALITY AS t(e, n))";
    return texto
        + R"( SELECT v.n, NCM."012" FROM v JOIN NCM ON NCM."001" = v.a AND NCM."002" = v.b AND NCM."003" = v.c)";
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 4 || (std::strcmp(argv[1], "sqlite") != 0 && std::strcmp(argv[1], "pg") != 0)) {
        std::fprintf(stderr, "usage: telquin_bench_conciliar_crudo sqlite|pg RUTA|CONNINFO INDICE [--trozo N]\n");
        return 2;
    }
    const bool sqlite = std::strcmp(argv[1], "sqlite") == 0;
    std::size_t trozo = 1000;
    for (int i = 4; i + 1 < argc; i += 2)
        if (std::strcmp(argv[i], "--trozo") == 0)
            trozo = std::size_t(std::max(1, std::atoi(argv[i + 1])));
    try {
        std::vector<Oficial> oficiales;
        Sqlite(argv[3]).recorrer("SELECT posicion, unidad FROM partidas ORDER BY posicion, orden", [&](const Fila &f) {
            if (oficiales.empty() || oficiales.back().posicion != *f[0])
                oficiales.push_back({*f[0], *f[1]});
        });

        std::unique_ptr<Base> db;
        if (sqlite)
            db = std::make_unique<Sqlite>(argv[2]);
        else
            db = std::make_unique<Postgres>(argv[2]);
        std::vector<Diferencia> diferencias;
        std::vector<std::optional<std::optional<std::string>>> enTabla(oficiales.size());
        for (std::size_t desde = 0; desde < oficiales.size(); desde += trozo) {
            const std::size_t hasta = std::min(oficiales.size(), desde + trozo);
            db->recorrer(textoConsulta(sqlite, literalJson(oficiales, desde, hasta)), [&](const Fila &f) {
                auto &celda = enTabla[desde + std::size_t(std::atol(f[0]->c_str()))];
                if (!celda) // of several rows of one key, the first read counts
                    celda = f[1];
            });
        }
        for (std::size_t i = 0; i < oficiales.size(); ++i) {
            const Oficial &o = oficiales[i];
            if (!enTabla[i])
                diferencias.push_back({2, o.posicion, "", o.unidad});
            else if (!o.unidad.empty() && enTabla[i]->value_or("") != o.unidad)
                diferencias.push_back({0, o.posicion, enTabla[i]->value_or(""), o.unidad});
        }
        std::unordered_set<std::string> enLista;
        enLista.reserve(oficiales.size());
        for (const Oficial &o : oficiales)
            enLista.insert(o.posicion);
        db->recorrer(R"(SELECT "001", "002", "003", "012" FROM NCM)", [&](const Fila &f) {
            const std::string posicion = f[0].value_or("") + "." + f[1].value_or("") + f[2].value_or("");
            if (!enLista.count(posicion))
                diferencias.push_back({1, posicion, f[3].value_or(""), ""});
        });
        std::stable_sort(diferencias.begin(), diferencias.end(),
                         [](const Diferencia &a, const Diferencia &b) { return a.posicion < b.posicion; });
        long cuentas[3] = {};
        std::string salida;
        for (const Diferencia &d : diferencias) {
            ++cuentas[d.clase];
            salida += std::string(kClases[d.clase]) + '\t' + d.posicion + '\t' + d.tabla + '\t' + d.oficial + '\n';
        }
        std::fwrite(salida.data(), 1, salida.size(), stdout);
        std::fprintf(stderr, "%s: %ld\t%s: %ld\t%s: %ld\n", kClases[0], cuentas[0], kClases[1], cuentas[1], kClases[2],
                     cuentas[2]);
        return diferencias.empty() ? 0 : 1;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "telquin_bench_conciliar_crudo: %s\n", e.what());
        return 2;
    }
}
