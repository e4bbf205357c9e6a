// SPDX-License-Identifier: GPL-3.0-or-later
#include "dam/ConectorQt.h"

#include "dam/Apertura.h"
#include "dam/Detencion.h"
#include "dam/DiagnosticoOdbc.h"
#include "dam/Modulos.h"

#include <QLibrary>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QSqlResult>
#include <QUuid>

#include <sqlext.h>

#include <algorithm>

namespace {

// The client libraries are already loaded by Qt's driver plugins; their functions
// are found at run time, so that nothing here links them.
using Interrumpir = void (*)(void *);
using PedirCancelacion = void *(*)(void *);
using LiberarCancelacion = void (*)(void *);
using Cancelar = int (*)(void *, char *, int);
using ManejarOcupado = int (*)(void *, int (*)(void *, int), void *);

template <typename Funcion>
Funcion funcionDe(const char *biblioteca, int version, const char *nombre)
{
    return reinterpret_cast<Funcion>(QLibrary::resolve(QLatin1String(biblioteca), version, nombre));
}

// sqlite3* or PGconn*, as the driver keeps it.
void *manejadorDe(const QSqlDatabase &db)
{
    if (!db.isOpen() || !db.driver())
        return nullptr;
    const QVariant manejador = db.driver()->handle();
    return manejador.isValid() ? *static_cast<void *const *>(manejador.constData()) : nullptr;
}

} // namespace

SQLHANDLE manejadorOdbc(const QVariant &handle)
{
    // QODBC gives its handles as a QVariant of SQLHANDLE, a void*; any other type (a
    // sqlite3* or PGconn* from another driver, say) is not one to hand to ODBC.
    static const QMetaType tipo = QMetaType::fromType<SQLHANDLE>();
    if (!handle.isValid() || qstrcmp(handle.typeName(), tipo.name()) != 0)
        return nullptr;
    return *static_cast<const SQLHANDLE *>(handle.constData());
}

namespace {

// The SQLSTATE of the first diagnostic record of an ODBC handle, as QODBC's handle()
// gives it, read by odbc.so (DiagnosticoOdbc.h).
QString estadoOdbc(SQLSMALLINT tipo, const QVariant &handle)
{
    static const auto leer = reinterpret_cast<EntradaOdbc>(
        funcionDeModulo(TELQUIN_MODULO_ODBC, TELQUIN_NOMBRE(TELQUIN_ENTRADA_ODBC), QStringLiteral("ODBC")));
    const SQLHANDLE manejador = manejadorOdbc(handle);
    char estado[6] = {};
    if (!manejador || !leer(tipo, manejador, estado))
        return {};
    return QString::fromLatin1(estado);
}

Fallo falloDe(Motor motor, const QSqlError &error, SQLSMALLINT tipo, const QVariant &handle)
{
    Fallo f{error.text(), error.databaseText(), -1, {}, false};
    switch (motor) {
    case Motor::Sqlite:
        f.codigoSqlite = error.nativeErrorCode().toInt();
        break;
    case Motor::Odbc:
        f.estadoSql = estadoOdbc(tipo, handle);
        break;
    case Motor::Postgres:
    case Motor::Ninguno:
        f.estadoSql = error.nativeErrorCode();
        break;
    }
    return f;
}

// Read right after the failure, before anything else runs on the query: ODBC keeps a
// statement's diagnostics only until the next call on it.
Fallo falloDeSentencia(Motor motor, const QSqlQuery &q)
{
    return falloDe(motor, q.lastError(), SQL_HANDLE_STMT, q.result() ? q.result()->handle() : QVariant());
}

// The same for a failed open, begin or commit, from the connection.
Fallo falloDeConexion(Motor motor, const QSqlDatabase &db)
{
    return falloDe(motor, db.lastError(), SQL_HANDLE_DBC, db.driver() ? db.driver()->handle() : QVariant());
}

// Both are what libpq's and SQLite's manuals name as safe to call from a signal
// handler: PQcancel, and sqlite3_interrupt (the sqlite3 shell's own Ctrl+C).
Cancelar pqCancel = nullptr;
Interrumpir sqliteInterrupt = nullptr;

void cancelarEnPostgres(void *datos)
{
    auto &parada = *static_cast<Detencion *>(datos);
    parada.pedida = 1;
    if (void *const cancelacion = parada.pgCancel.load()) {
        char error[256];
        (void)pqCancel(cancelacion, error, int(sizeof error));
    }
}

void cancelarEnSqlite(void *datos)
{
    auto &parada = *static_cast<Detencion *>(datos);
    parada.pedida = 1;
    sqliteInterrupt(parada.sqlite);
}

void soloMarcar(void *datos) { static_cast<Detencion *>(datos)->pedida = 1; }

// SQLite, PostgreSQL and ODBC through Qt SQL's drivers.
class ConectorQt final : public Conector {
public:
    ConectorQt(const Direccion &d, int espera)
        : nombreConexion_(QStringLiteral("telquin-dam-") + QUuid::createUuid().toString(QUuid::WithoutBraces))
        , motor_(d.motor)
        , espera_(espera)
    {
        db_ = abrirBaseDeDatos(d, nombreConexion_, espera_);
        prepararParada();
    }

    ~ConectorQt() override
    {
        if (void *const cancelacion = parada_.pgCancel.exchange(nullptr))
            if (const auto liberar = funcionDe<LiberarCancelacion>("pq", 5, "PQfreeCancel"))
                liberar(cancelacion);
        db_.close();
        db_ = QSqlDatabase();
        QSqlDatabase::removeDatabase(nombreConexion_);
    }

    ConectorQt(const ConectorQt &) = delete;
    ConectorQt &operator=(const ConectorQt &) = delete;

    bool tomaCorchetes() const override { return esSqlite(); }

    QString citar(const QString &nombre) const override
    {
        return db_.driver()->escapeIdentifier(nombre, QSqlDriver::FieldName);
    }

    // Through a driver that is not Unicode (psqlODBC's ANSI one), the driver manager
    // turns a statement's UTF-16 into the bytes of the locale's character set, and a
    // character that set lacks (any but ASCII under the C locale, half of a pair under
    // any) into its low byte: "ħ" becomes a quote, "Ō" an "L", two pairs may spell
    // another row's key. Through such a driver only ASCII statements are sent.
    bool transmite(QStringView texto) const override
    {
        if (motor_ != Motor::Odbc || !db_.driver() || db_.driver()->hasFeature(QSqlDriver::Unicode))
            return true;
        return std::none_of(texto.cbegin(), texto.cend(), [](QChar c) { return c.unicode() > 0x7f; });
    }

    std::optional<DialectoDeBloque> dialecto() const override
    {
        switch (motor_) {
        case Motor::Sqlite:
            return DialectoDeBloque::Sqlite;
        case Motor::Postgres:
            return DialectoDeBloque::Postgres;
        case Motor::Odbc:
            // The driver manager names the server; only PostgreSQL's SQL is written here.
            if (esPostgresql())
                return DialectoDeBloque::Postgres;
            break;
        case Motor::Ninguno:
            break;
        }
        return std::nullopt;
    }

    bool guardaDesenlaces() const override { return esPostgresql(); }

    // A server that no longer answers fails the simplest statement too. Asking costs a
    // round trip, and only after a failure.
    bool conexionPerdida() override
    {
        if (esSqlite())
            return false;
        // QPSQL closes the database itself when it sees the connection gone.
        if (!db_.isOpen())
            return true;
        QSqlQuery prueba(db_);
        return !prueba.exec(QStringLiteral("SELECT 1"));
    }

    std::optional<Fallo> reabrir() override
    {
        const bool abierta = reabrirBaseDeDatos(db_, motor_, espera_);
        renovarCancelacion();
        if (abierta)
            return std::nullopt;
        Fallo f = falloDeConexion(motor_, db_);
        f.perdida = true;
        return f;
    }

    Respuesta ejecutar(const QString &texto, std::size_t maxFilas) override
    {
        Respuesta r;
        QSqlQuery q(db_);
        q.setForwardOnly(true);
        if (!db_.isOpen() || !q.exec(texto)) {
            Fallo f = falloDeSentencia(motor_, q);
            // QPSQL has closed the database if the connection itself is gone.
            f.perdida = !esSqlite() && (!db_.isOpen() || sesionTerminada(f));
            r.fallo = std::move(f);
            return r;
        }
        if (maxFilas == 0) {
            r.afectadas = q.numRowsAffected();
            return r;
        }
        while (r.filas.size() < maxFilas && q.next()) {
            if (r.columnas.empty()) {
                const QSqlRecord registro = q.record();
                for (int i = 0; i < registro.count(); ++i)
                    r.columnas.push_back(registro.fieldName(i));
            }
            std::vector<QVariant> fila;
            fila.reserve(r.columnas.size());
            for (int i = 0; i < int(r.columnas.size()); ++i)
                fila.push_back(q.isNull(i) ? QVariant() : q.value(i));
            r.filas.push_back(std::move(fila));
        }
        if (r.filas.size() < maxFilas && q.lastError().isValid()) {
            r.fallo = falloDeSentencia(motor_, q);
            r.alLeer = true;
        }
        // Done with the statement: on SQLite an unfinished query keeps the file locked.
        q.finish();
        return r;
    }

    Respuesta consultarBloque(const QString &json, bool bloquear) override
    {
        return ejecutar(textoConsultaEnBloque(*dialecto(), json, bloquear), kTodasLasFilas);
    }

    Respuesta actualizarBloque(const QString &json) override
    {
        return ejecutar(textoUpdateEnBloque(*dialecto(), json), kTodasLasFilas);
    }

    std::optional<Fallo> comenzar(Transacciones::Aislamiento aislamiento) override
    {
        // A connection lost while idle is opened again here, as a statement would; once
        // the transaction has begun, never. Through ODBC, beginning sends nothing, so
        // the connection is asked first; PostgreSQL's BEGIN is itself the question, and
        // asking only after it fails saves every transaction a round trip.
        if (motor_ == Motor::Odbc ? conexionPerdida() : !esSqlite() && !db_.isOpen())
            if (auto f = reabrir())
                return f;
        const bool repetible = aislamiento == Transacciones::Aislamiento::Repetible;
        // QSQLITE's own transaction() begins a deferred one, which takes no lock; SQLite
        // with the write lock taken needs no stricter isolation. PostgreSQL takes the
        // level with BEGIN; through ODBC the driver begins by itself.
        const QString comienzo = esSqlite()          ? QStringLiteral("BEGIN IMMEDIATE")
            : motor_ == Motor::Postgres && repetible ? QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ")
                                                     : QString();
        std::optional<Fallo> fallo = intentarPaso(comienzo, &QSqlDatabase::transaction);
        if (fallo && motor_ == Motor::Postgres && (sesionTerminada(*fallo) || conexionPerdida())) {
            if (auto f = reabrir())
                return f;
            fallo = intentarPaso(comienzo, &QSqlDatabase::transaction);
        }
        if (!fallo && repetible && motor_ == Motor::Odbc && esPostgresql()) {
            fallo = intentarPaso(QStringLiteral("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ"), nullptr);
            if (fallo)
                (void)db_.rollback();
        }
        if (fallo)
            fallo->perdida = !esSqlite() && !db_.isOpen();
        return fallo;
    }

    std::optional<Fallo> confirmar() override
    {
        std::optional<Fallo> fallo
            = intentarPaso(esSqlite() ? QStringLiteral("COMMIT") : QString(), &QSqlDatabase::commit);
        // SQLite commits in this process: its failure is always known, and it stored
        // nothing.
        if (fallo)
            fallo->perdida = !esSqlite() && (!db_.isOpen() || sesionTerminada(*fallo));
        return fallo;
    }

    void revertir() noexcept override
    {
        // When this fails the transaction has already ended without storing anything:
        // the connection was lost, or the database rolled it back itself.
        if (esSqlite())
            (void)QSqlQuery(db_).exec(QStringLiteral("ROLLBACK"));
        else if (db_.isOpen())
            (void)db_.rollback();
    }

    FilasEnBloque::Cancelacion cancelacion() override
    {
        Detencion *const parada = &parada_;
        if (motor_ == Motor::Sqlite && parada->sqlite) {
            sqliteInterrupt = funcionDe<Interrumpir>("sqlite3", 0, "sqlite3_interrupt");
            if (sqliteInterrupt)
                return {&cancelarEnSqlite, parada};
        }
        if (motor_ == Motor::Postgres) {
            pqCancel = funcionDe<Cancelar>("pq", 5, "PQcancel");
            if (pqCancel)
                return {&cancelarEnPostgres, parada};
        }
        // Through ODBC the statement runs to its end, but no further wait begins.
        return {&soloMarcar, parada};
    }

    bool detenida() const override { return parada_.pedida != 0; }

private:
    bool esSqlite() const { return motor_ == Motor::Sqlite; }

    bool esPostgresql() const
    {
        return motor_ == Motor::Postgres
            || (motor_ == Motor::Odbc && db_.driver() && db_.driver()->dbmsType() == QSqlDriver::PostgreSQL);
    }

    // One step of a transaction: a statement where one is given (always on SQLite),
    // else the driver's own call. What went wrong, when something did.
    std::optional<Fallo> intentarPaso(const QString &sentencia, bool (QSqlDatabase::*paso)())
    {
        if (!sentencia.isEmpty()) {
            QSqlQuery q(db_);
            if (!q.exec(sentencia))
                return falloDeSentencia(motor_, q);
        } else if (!(db_.*paso)()) {
            return falloDeConexion(motor_, db_);
        }
        return std::nullopt;
    }

    // A PGcancel for the connection open now; the previous one is freed once no
    // handler can reach it any more (the handler runs on this same thread, never
    // halfway through this exchange).
    void renovarCancelacion()
    {
        if (motor_ != Motor::Postgres)
            return;
        static const auto pedir = funcionDe<PedirCancelacion>("pq", 5, "PQgetCancel");
        static const auto liberar = funcionDe<LiberarCancelacion>("pq", 5, "PQfreeCancel");
        if (!pedir || !liberar)
            return;
        void *const conexion = manejadorDe(db_);
        void *const anterior = parada_.pgCancel.exchange(conexion ? pedir(conexion) : nullptr);
        if (anterior)
            liberar(anterior);
    }

    void prepararParada()
    {
        parada_.espera = std::chrono::seconds(espera_);
        if (motor_ == Motor::Sqlite) {
            static const auto manejar = funcionDe<ManejarOcupado>("sqlite3", 0, "sqlite3_busy_handler");
            parada_.sqlite = manejadorDe(db_);
            if (manejar && parada_.sqlite)
                manejar(parada_.sqlite, &esperarArchivoOcupado, &parada_);
        }
        renovarCancelacion();
    }

    QString nombreConexion_;
    QSqlDatabase db_;
    Motor motor_;
    int espera_;
    Detencion parada_;
};

} // namespace

std::unique_ptr<Conector> abrirConQtSql(const Direccion &d, int espera)
{
    return std::make_unique<ConectorQt>(d, espera);
}
