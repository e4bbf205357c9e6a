// SPDX-License-Identifier: GPL-3.0-or-later
#include "Generador.h"

#include <QFile>
#include <QHash>
#include <QRegularExpression>

#include <libpq-fe.h>
#include <sqlite3.h>

#include <cstdio>
#include <memory>

namespace {

// Bump when the rows the generator writes change, so cached files are made again.
constexpr int kVersionGenerador = 1;

std::string utf8(const QString &s) { return s.toStdString(); }

int firmaSqlite(const QString &esquema)
{
    return static_cast<int>(qHashMulti(0, kVersionGenerador, esquema) & 0x7fffffff);
}

void exigir(int rc, sqlite3 *db, const char *que)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
        throw ErrorBench(std::string("sqlite: ") + que + ": " + (db ? sqlite3_errmsg(db) : sqlite3_errstr(rc)));
}

void ejecutarSqlite(sqlite3 *db, const std::string &sql)
{
    char *error = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string texto = error ? error : "?";
        sqlite3_free(error);
        throw ErrorBench("sqlite: " + sql + ": " + texto);
    }
}

struct CerrarPg {
    void operator()(PGresult *r) const { PQclear(r); }
};
using ResultadoPg = std::unique_ptr<PGresult, CerrarPg>;

ResultadoPg ejecutarPg(PGconn *c, const std::string &sql, ExecStatusType esperado)
{
    ResultadoPg r(PQexec(c, sql.c_str()));
    if (PQresultStatus(r.get()) != esperado)
        throw ErrorBench("libpq: " + sql.substr(0, 200) + ": " + PQerrorMessage(c));
    return r;
}

// The same URL with another database name: the path of a URI, or dbname= of a key/value string.
std::string conOtraBase(const std::string &url, const std::string &nombre)
{
    const auto esquema = url.find("://");
    if (esquema == std::string::npos)
        return url + " dbname=" + nombre;
    const auto inicioRuta = url.find('/', esquema + 3);
    if (inicioRuta == std::string::npos) {
        const auto consulta = url.find('?', esquema + 3);
        return consulta == std::string::npos ? url + "/" + nombre
                                             : url.substr(0, consulta) + "/" + nombre + url.substr(consulta);
    }
    const auto finRuta = url.find('?', inicioRuta);
    return url.substr(0, inicioRuta + 1) + nombre + (finRuta == std::string::npos ? "" : url.substr(finRuta));
}

} // namespace

QString posicionGenerada(std::int64_t i)
{
    char texto[32];
    const long long codigo = i / 10;
    std::snprintf(texto, sizeof texto, "%04lld.%02lld.%02lld.%03d%c", codigo / 10000, codigo / 100 % 100, codigo % 100,
                  static_cast<int>(i % 10) * 100, static_cast<char>('A' + i * 7 % 26));
    return QString::fromLatin1(texto);
}

QString unidadGenerada(std::int64_t i) { return QStringLiteral("%1").arg(i * 37 % 100, 2, 10, QLatin1Char('0')); }

QString posicionAusente(std::int64_t i)
{
    QString p = posicionGenerada(i);
    p[14] = QChar(static_cast<char16_t>(u'A' + (i * 7 + 13) % 26));
    return p;
}

QString esquemaMuestra(const QString &rutaMuestra)
{
    QFile archivo(rutaMuestra);
    if (!archivo.open(QIODevice::ReadOnly))
        throw ErrorBench("cannot read " + utf8(rutaMuestra));
    static const QRegularExpression crear(QStringLiteral("CREATE\\s+TABLE[^;]*;"),
                                          QRegularExpression::CaseInsensitiveOption);
    const auto m = crear.match(QString::fromUtf8(archivo.readAll()));
    if (!m.hasMatch())
        throw ErrorBench("no CREATE TABLE in " + utf8(rutaMuestra));
    return m.captured(0);
}

SqliteCrudo::SqliteCrudo(const QString &ruta)
{
    const int rc = sqlite3_open_v2(ruta.toUtf8().constData(), &db_, SQLITE_OPEN_READWRITE, nullptr);
    if (rc != SQLITE_OK) {
        const std::string texto = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
        sqlite3_close(db_);
        throw ErrorBench("sqlite: open " + utf8(ruta) + ": " + texto);
    }
    sqlite3_busy_timeout(db_, 10000);
}

SqliteCrudo::~SqliteCrudo() { sqlite3_close(db_); }

std::optional<std::string> SqliteCrudo::consultar(const std::string &sql)
{
    sqlite3_stmt *st = nullptr;
    exigir(sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &st, nullptr), db_, "prepare");
    const int rc = sqlite3_step(st);
    std::optional<std::string> valor;
    if (rc == SQLITE_ROW) {
        const auto *t = sqlite3_column_text(st, 0);
        valor.emplace(t ? reinterpret_cast<const char *>(t) : "", static_cast<size_t>(sqlite3_column_bytes(st, 0)));
    }
    sqlite3_finalize(st);
    exigir(rc, db_, "step");
    return valor;
}

int SqliteCrudo::ejecutar(const std::string &sql)
{
    sqlite3_stmt *st = nullptr;
    exigir(sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &st, nullptr), db_, "prepare");
    const int rc = sqlite3_step(st);
    sqlite3_finalize(st);
    exigir(rc, db_, "step");
    return sqlite3_changes(db_);
}

std::vector<std::string> SqliteCrudo::columna(const std::string &sql, int col)
{
    sqlite3_stmt *st = nullptr;
    exigir(sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr), db_, "prepare");
    std::vector<std::string> salida;
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        const auto *t = sqlite3_column_text(st, col);
        salida.emplace_back(t ? reinterpret_cast<const char *>(t) : "");
    }
    sqlite3_finalize(st);
    exigir(rc, db_, "step");
    return salida;
}

PgCrudo::PgCrudo(const std::string &conninfo) : c_(PQconnectdb(conninfo.c_str()))
{
    if (PQstatus(c_) != CONNECTION_OK) {
        const std::string texto = PQerrorMessage(c_);
        PQfinish(c_);
        throw ErrorBench("libpq: " + texto);
    }
}

PgCrudo::~PgCrudo() { PQfinish(c_); }

std::optional<std::string> PgCrudo::consultar(const std::string &sql)
{
    const ResultadoPg r = ejecutarPg(c_, sql, PGRES_TUPLES_OK);
    if (PQntuples(r.get()) == 0)
        return std::nullopt;
    return std::string(PQgetvalue(r.get(), 0, 0), static_cast<size_t>(PQgetlength(r.get(), 0, 0)));
}

int PgCrudo::ejecutar(const std::string &sql)
{
    const ResultadoPg r = ejecutarPg(c_, sql, PGRES_COMMAND_OK);
    return std::atoi(PQcmdTuples(r.get()));
}

std::vector<std::string> PgCrudo::columna(const std::string &sql, int col)
{
    const ResultadoPg r = ejecutarPg(c_, sql, PGRES_TUPLES_OK);
    std::vector<std::string> salida;
    for (int i = 0; i < PQntuples(r.get()); ++i)
        salida.emplace_back(PQgetvalue(r.get(), i, col));
    return salida;
}

bool prepararSqlite(const QString &ruta, const QString &esquema, std::int64_t filas)
{
    const int firma = firmaSqlite(esquema);
    if (QFile::exists(ruta)) {
        try {
            SqliteCrudo db(ruta);
            const auto version = db.consultar("PRAGMA user_version");
            const auto cuenta = db.consultar("SELECT count(*) FROM NCM");
            if (version && cuenta && std::stoi(*version) == firma && std::stoll(*cuenta) == filas)
                return false;
        } catch (const ErrorBench &) {
        }
    }

    const QString temporal = ruta + QStringLiteral(".tmp");
    QFile::remove(temporal);
    sqlite3 *db = nullptr;
    exigir(sqlite3_open_v2(temporal.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr), db,
           "create");
    const std::unique_ptr<sqlite3, int (*)(sqlite3 *)> cerrar(db, sqlite3_close);
    // Nothing here has to survive a crash: a half-made file is simply made again.
    ejecutarSqlite(db, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF");
    ejecutarSqlite(db, utf8(esquema));
    ejecutarSqlite(db, "BEGIN");
    sqlite3_stmt *st = nullptr;
    exigir(
        sqlite3_prepare_v2(db, R"(INSERT INTO NCM ("001", "002", "003", "012") VALUES (?, ?, ?, ?))", -1, &st, nullptr),
        db, "prepare");
    for (std::int64_t i = 0; i < filas; ++i) {
        const QByteArray p = posicionGenerada(i).toLatin1();
        const QByteArray u = unidadGenerada(i).toLatin1();
        sqlite3_bind_text(st, 1, p.constData(), 10, SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 2, p.constData() + 11, 3, SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 3, p.constData() + 14, 1, SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 4, u.constData(), 2, SQLITE_TRANSIENT);
        if (sqlite3_step(st) != SQLITE_DONE) {
            sqlite3_finalize(st);
            exigir(SQLITE_ERROR, db, "insert");
        }
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    ejecutarSqlite(db, "COMMIT");
    ejecutarSqlite(db, "ANALYZE; PRAGMA user_version=" + std::to_string(firma));
    QFile::remove(ruta);
    if (!QFile::rename(temporal, ruta))
        throw ErrorBench("cannot rename " + utf8(temporal));
    return true;
}

void prepararPostgres(const std::string &urlAdmin, const std::string &nombre, const QString &esquema,
                      std::int64_t filas)
{
    {
        PgCrudo admin(urlAdmin);
        admin.ejecutar("DROP DATABASE IF EXISTS " + nombre);
        admin.ejecutar("CREATE DATABASE " + nombre);
    }
    PgCrudo db(conOtraBase(urlAdmin, nombre));
    db.ejecutar(utf8(esquema));
    // The same rows as posicionGenerada/unidadGenerada, made by the server itself.
    db.ejecutar(R"(INSERT INTO NCM ("001", "002", "003", "012")
                   SELECT substr(d, 1, 4) || '.' || substr(d, 5, 2) || '.' || substr(d, 7, 2),
                          lpad(((i % 10) * 100)::text, 3, '0'),
                          chr(65 + (i * 7 % 26)::int),
                          lpad((i * 37 % 100)::text, 2, '0')
                   FROM (SELECT i, lpad((i / 10)::text, 8, '0') AS d
                         FROM generate_series(0::bigint, )"
                + std::to_string(filas - 1) + R"() AS i) AS g)");
    db.ejecutar("VACUUM ANALYZE NCM");
}

std::string urlConBase(const std::string &url, const std::string &nombre) { return conOtraBase(url, nombre); }
