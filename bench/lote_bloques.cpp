// SPDX-License-Identifier: GPL-3.0-or-later
// The baseline of `telquin lote` on its set-based road: a program with no Qt and no
// checks that reads the same CSV and sends the same statements, one per chunk of
// positions, through the raw driver, printing one line per row.
//
//   telquin_lote_bloques sqlite|pg RUTA|CONNINFO CSV [--solo-consultas] [--trozo N] [--explicar]
//
// Without --solo-consultas, inside one transaction (BEGIN IMMEDIATE on SQLite): every
// distinct position looked up in key order, locking its row on PostgreSQL, then the
// rows whose unit changes updated, chunk by chunk, then COMMIT. --solo-consultas looks
// the positions up in the file's order, each chunk a statement of its own. --explicar
// prints how the database runs the first chunk's statements instead (on PostgreSQL
// with EXPLAIN ANALYZE, inside a transaction rolled back) and changes nothing.

#include "LoteCsv.h"

#include <libpq-fe.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <tuple>
#include <unordered_map>
#include <vector>

namespace {

struct Clave {
    std::string a, b, c;
    bool operator<(const Clave &otra) const { return std::tie(a, b, c) < std::tie(otra.a, otra.b, otra.c); }
};

struct Fila {
    std::string posicion;
    std::string unidad;
    Clave clave;
};

// A row of a lookup: the key's index in its chunk and the unit it holds.
struct Hallada {
    long indice;
    std::optional<std::string> unidad;
};

struct Opciones {
    bool sqlite = true;
    std::string base;
    std::string csv;
    bool soloConsultas = false;
    bool explicar = false;
    std::size_t trozo = 1000;
};

[[nodiscard]] Clave cortar(const std::string &p)
{
    return {p.substr(0, 10), p.size() > 11 ? p.substr(11, 3) : "", p.size() > 14 ? p.substr(14, 1) : ""};
}

[[nodiscard]] std::vector<Fila> leerCsv(const std::string &ruta)
{
    std::vector<Fila> filas;
    for (FilaDeLote &f : leerLoteCsv(ruta)) {
        Clave clave = cortar(f.posicion);
        filas.push_back(Fila{std::move(f.posicion), std::move(f.unidad), std::move(clave)});
    }
    return filas;
}

void agregarCadenaJson(std::string &json, const std::string &valor)
{
    json += '"';
    for (const char c : valor) {
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
            json += escape;
        } else {
            json += c;
        }
    }
    json += '"';
}

// [["8901.10.00","000","L"],...], with the unit as a fourth value when given; every
// quote doubled, ready to stand between quotes in a statement.
[[nodiscard]] std::string literalJson(const std::vector<const Clave *> &claves,
                                      const std::vector<const std::string *> &unidades)
{
    std::string json = "[";
    for (std::size_t i = 0; i < claves.size(); ++i) {
        json += i == 0 ? "[" : ",[";
        agregarCadenaJson(json, claves[i]->a);
        json += ',';
        agregarCadenaJson(json, claves[i]->b);
        json += ',';
        agregarCadenaJson(json, claves[i]->c);
        if (!unidades.empty()) {
            json += ',';
            agregarCadenaJson(json, *unidades[i]);
        }
        json += ']';
    }
    json += ']';
    std::string literal;
    literal.reserve(json.size());
    for (const char c : json) {
        literal += c;
        if (c == '\'')
            literal += '\'';
    }
    return literal;
}

const char *const kUnion = R"(NCM."001" = v.a AND NCM."002" = v.b AND NCM."003" = v.c)";

[[nodiscard]] std::string textoConsulta(bool sqlite, const std::string &json, bool bloquear)
{
    std::string texto = sqlite
        ? "WITH v(n, a, b, c) AS (SELECT key, value ->> 0, value ->> 1, value ->> 2 FROM json_each('" + json + "'))"
        : "WITH v(n, a, b, c) AS (SELECT t.n - 1, t.e ->> 0, t.e ->> 1, t.e ->> 2 FROM json_array_elements('" + json
            + "') WITH ORDINALITY AS t(e, n))";
    texto += R"( SELECT v.n, NCM."012" FROM v JOIN NCM ON )";
    texto += kUnion;
    if (bloquear && !sqlite)
        texto += R"( ORDER BY NCM."001" COLLATE "C", NCM."002" COLLATE "C", NCM."003" COLLATE "C" FOR UPDATE OF NCM)";
    return texto;
}

[[nodiscard]] std::string textoUpdate(bool sqlite, const std::string &json)
{
    std::string texto = sqlite
        ? "WITH v(a, b, c, u) AS (SELECT value ->> 0, value ->> 1, value ->> 2, value ->> 3 FROM json_each('" + json
            + "'))"
        : "WITH v(n, a, b, c, u) AS (SELECT t.n - 1, t.e ->> 0, t.e ->> 1, t.e ->> 2, t.e ->> 3 FROM "
          "json_array_elements('"
            + json + "') WITH ORDINALITY AS t(e, n))";
    texto += R"( UPDATE NCM SET "012" = v.u FROM v WHERE )";
    texto += kUnion;
    // As Telquin's: PostgreSQL answers with the key's index, SQLite with the key.
    texto += sqlite ? R"( RETURNING NCM."001" || char(31) || NCM."002" || char(31) || NCM."003")" : " RETURNING v.n";
    return texto;
}

class Base {
public:
    virtual ~Base() = default;
    virtual void ejecutar(const std::string &sql) = 0;
    // Every row: its first column as a number, its second as text (null kept).
    virtual std::vector<Hallada> consultar(const std::string &sql) = 0;
    // How many rows the statement returned.
    virtual long contar(const std::string &sql) = 0;
    // The plan, one line per step.
    virtual std::vector<std::string> explicar(const std::string &sql) = 0;
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
            fallar();
    }
    std::vector<Hallada> consultar(const std::string &sql) override
    {
        std::vector<Hallada> filas;
        recorrer(sql, [&](sqlite3_stmt *st) {
            const auto *t = sqlite3_column_text(st, 1);
            filas.push_back({static_cast<long>(sqlite3_column_int64(st, 0)),
                             t ? std::optional<std::string>(reinterpret_cast<const char *>(t)) : std::nullopt});
        });
        return filas;
    }
    long contar(const std::string &sql) override
    {
        long n = 0;
        recorrer(sql, [&](sqlite3_stmt *) { ++n; });
        return n;
    }
    std::vector<std::string> explicar(const std::string &sql) override
    {
        std::vector<std::string> pasos;
        recorrer("EXPLAIN QUERY PLAN " + sql, [&](sqlite3_stmt *st) {
            pasos.emplace_back(reinterpret_cast<const char *>(sqlite3_column_text(st, 3)));
        });
        return pasos;
    }

private:
    template <typename Funcion>
    void recorrer(const std::string &sql, Funcion porFila)
    {
        sqlite3_stmt *st = nullptr;
        if (sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &st, nullptr) != SQLITE_OK)
            fallar();
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW)
            porFila(st);
        sqlite3_finalize(st);
        if (rc != SQLITE_DONE)
            fallar();
    }
    [[noreturn]] void fallar() { throw std::runtime_error("sqlite: " + std::string(sqlite3_errmsg(db_))); }

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
    std::vector<Hallada> consultar(const std::string &sql) override
    {
        PGresult *r = exigir(sql, PGRES_TUPLES_OK);
        std::vector<Hallada> filas;
        filas.reserve(static_cast<std::size_t>(PQntuples(r)));
        for (int i = 0; i < PQntuples(r); ++i)
            filas.push_back({std::atol(PQgetvalue(r, i, 0)),
                             PQgetisnull(r, i, 1) ? std::nullopt : std::optional<std::string>(PQgetvalue(r, i, 1))});
        PQclear(r);
        return filas;
    }
    long contar(const std::string &sql) override
    {
        PGresult *r = exigir(sql, PGRES_TUPLES_OK);
        const long n = PQntuples(r);
        PQclear(r);
        return n;
    }
    std::vector<std::string> explicar(const std::string &sql) override
    {
        PGresult *r = exigir("EXPLAIN ANALYZE " + sql, PGRES_TUPLES_OK);
        std::vector<std::string> pasos;
        for (int i = 0; i < PQntuples(r); ++i)
            pasos.emplace_back(PQgetvalue(r, i, 0));
        PQclear(r);
        return pasos;
    }

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

// Each key once, in the order first seen, with the unit its first row asks for; and
// for each row, its key's place among them.
struct Distintas {
    std::vector<const Clave *> claves;
    std::vector<const std::string *> unidades;
    std::vector<std::size_t> deFila;
};

[[nodiscard]] Distintas distintas(const std::vector<Fila> &filas)
{
    Distintas d;
    std::unordered_map<std::string, std::size_t> vistas;
    vistas.reserve(filas.size());
    d.deFila.reserve(filas.size());
    for (const Fila &f : filas) {
        const auto [it, nueva] = vistas.emplace(f.clave.a + '\x1f' + f.clave.b + '\x1f' + f.clave.c, d.claves.size());
        if (nueva) {
            d.claves.push_back(&f.clave);
            d.unidades.push_back(&f.unidad);
        }
        d.deFila.push_back(it->second);
    }
    return d;
}

template <typename T>
[[nodiscard]] std::vector<T> tramo(const std::vector<T> &todo, std::size_t desde, std::size_t cuantos)
{
    const auto inicio = todo.begin() + static_cast<std::ptrdiff_t>(std::min(desde, todo.size()));
    const auto fin = todo.begin() + static_cast<std::ptrdiff_t>(std::min(desde + cuantos, todo.size()));
    return {inicio, fin};
}

// The unit each key of `claves` holds, chunk by chunk, in the order of `claves`.
[[nodiscard]] std::vector<std::optional<std::string>>
consultarEnTrozos(Base &db, bool sqlite, const std::vector<const Clave *> &claves, std::size_t trozo, bool bloquear)
{
    std::vector<std::optional<std::string>> unidades(claves.size());
    for (std::size_t desde = 0; desde < claves.size(); desde += trozo) {
        const auto parte = tramo(claves, desde, trozo);
        for (const Hallada &h : db.consultar(textoConsulta(sqlite, literalJson(parte, {}), bloquear))) {
            if (h.indice < 0 || static_cast<std::size_t>(h.indice) >= parte.size())
                throw std::runtime_error("índice fuera del trozo: " + std::to_string(h.indice));
            unidades[desde + static_cast<std::size_t>(h.indice)] = h.unidad.value_or("");
        }
    }
    return unidades;
}

void actualizarEnTrozos(Base &db, bool sqlite, const std::vector<const Clave *> &claves,
                        const std::vector<const std::string *> &unidades, std::size_t trozo)
{
    for (std::size_t desde = 0; desde < claves.size(); desde += trozo) {
        const auto parte = tramo(claves, desde, trozo);
        const long cambiadas = db.contar(textoUpdate(sqlite, literalJson(parte, tramo(unidades, desde, trozo))));
        if (cambiadas != static_cast<long>(parte.size()))
            throw std::runtime_error("el trozo que empieza en " + parte.front()->a + " cambió "
                                     + std::to_string(cambiadas) + " filas de " + std::to_string(parte.size()));
    }
}

// The units each distinct key holds, in the order of `d.claves`.
[[nodiscard]] std::vector<std::optional<std::string>> revisar(Base &db, const Opciones &o, const Distintas &d)
{
    return consultarEnTrozos(db, o.sqlite, d.claves, o.trozo, false);
}

[[nodiscard]] std::vector<std::optional<std::string>> aplicar(Base &db, const Opciones &o, const Distintas &d)
{
    std::vector<std::size_t> orden(d.claves.size());
    for (std::size_t i = 0; i < orden.size(); ++i)
        orden[i] = i;
    std::sort(orden.begin(), orden.end(), [&](std::size_t x, std::size_t y) { return *d.claves[x] < *d.claves[y]; });
    std::vector<const Clave *> enOrden;
    enOrden.reserve(orden.size());
    for (const std::size_t i : orden)
        enOrden.push_back(d.claves[i]);

    db.ejecutar(o.sqlite ? "BEGIN IMMEDIATE" : "BEGIN");
    const auto halladas = consultarEnTrozos(db, o.sqlite, enOrden, o.trozo, true);
    std::vector<std::optional<std::string>> actuales(d.claves.size());
    std::vector<const Clave *> cambian;
    std::vector<const std::string *> nuevas;
    for (std::size_t k = 0; k < orden.size(); ++k) {
        actuales[orden[k]] = halladas[k];
        if (halladas[k] && *halladas[k] != *d.unidades[orden[k]]) {
            cambian.push_back(enOrden[k]);
            nuevas.push_back(d.unidades[orden[k]]);
        }
    }
    actualizarEnTrozos(db, o.sqlite, cambian, nuevas, o.trozo);
    db.ejecutar("COMMIT");
    return actuales;
}

void imprimirPlan(const char *que, std::size_t filas, const std::vector<std::string> &pasos)
{
    std::printf("%s, %zu filas:\n", que, filas);
    for (const std::string &p : pasos)
        std::printf("    %s\n", p.c_str());
}

void explicar(Base &db, const Opciones &o, const Distintas &d)
{
    const auto claves = tramo(d.claves, 0, o.trozo);
    const auto unidades = tramo(d.unidades, 0, o.trozo);
    const std::string json = literalJson(claves, {});
    db.ejecutar("BEGIN");
    imprimirPlan("consulta", claves.size(), db.explicar(textoConsulta(o.sqlite, json, false)));
    if (!o.sqlite)
        imprimirPlan("consulta con bloqueo", claves.size(), db.explicar(textoConsulta(o.sqlite, json, true)));
    imprimirPlan("actualización", claves.size(), db.explicar(textoUpdate(o.sqlite, literalJson(claves, unidades))));
    db.ejecutar("ROLLBACK");
}

[[nodiscard]] Opciones leerOpciones(int argc, char **argv)
{
    if (argc < 4 || (std::strcmp(argv[1], "sqlite") != 0 && std::strcmp(argv[1], "pg") != 0))
        throw std::invalid_argument("faltan argumentos");
    Opciones o;
    o.sqlite = std::strcmp(argv[1], "sqlite") == 0;
    o.base = argv[2];
    o.csv = argv[3];
    for (int i = 4; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--solo-consultas") {
            o.soloConsultas = true;
        } else if (a == "--explicar") {
            o.explicar = true;
        } else if (a == "--trozo" && i + 1 < argc) {
            const long n = std::atol(argv[++i]);
            if (n < 1)
                throw std::invalid_argument("--trozo debe ser un número positivo");
            o.trozo = static_cast<std::size_t>(n);
        } else {
            throw std::invalid_argument("opción desconocida: " + a);
        }
    }
    return o;
}

} // namespace

int main(int argc, char **argv)
{
    Opciones o;
    try {
        o = leerOpciones(argc, argv);
    } catch (const std::invalid_argument &e) {
        std::fprintf(stderr,
                     "telquin: %s\nuso: telquin_lote_bloques sqlite|pg RUTA|CONNINFO CSV [--solo-consultas] "
                     "[--trozo N] [--explicar]\n",
                     e.what());
        return 2;
    }
    try {
        std::unique_ptr<Base> db;
        if (o.sqlite)
            db = std::make_unique<Sqlite>(o.base);
        else
            db = std::make_unique<Postgres>(o.base);
        const std::vector<Fila> filas = leerCsv(o.csv);
        const Distintas d = distintas(filas);
        if (o.explicar) {
            explicar(*db, o, d);
            return 0;
        }
        const auto actuales = o.soloConsultas ? revisar(*db, o, d) : aplicar(*db, o, d);
        for (std::size_t i = 0; i < filas.size(); ++i)
            std::printf("%zu\t%s\t%s\t%s\n", i + 2, filas[i].posicion.c_str(),
                        actuales[d.deFila[i]].value_or("").c_str(), filas[i].unidad.c_str());
    } catch (const std::exception &e) {
        std::fprintf(stderr, "telquin: lote_bloques: %s\n", e.what());
        return 1;
    }
    return 0;
}
