// SPDX-License-Identifier: GPL-3.0-or-later
#include "dam/ConectorOdbc.h"

#include "dam/Apertura.h"
#include "dam/Detencion.h"
#include "dam/DiagnosticoOdbc.h"
#include "dam/Modulos.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QSqlResult>
#include <QUuid>

#include <sqlext.h>

#include <algorithm>

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

Fallo falloDe(const QSqlError &error, SQLSMALLINT tipo, const QVariant &handle)
{
    return Fallo{error.text(), error.databaseText(), -1, estadoOdbc(tipo, handle), false};
}

// Read right after the failure, before anything else runs on the query: ODBC keeps a
// statement's diagnostics only until the next call on it.
Fallo falloDeSentencia(const QSqlQuery &q)
{
    return falloDe(q.lastError(), SQL_HANDLE_STMT, q.result() ? q.result()->handle() : QVariant());
}

// The same for a failed open, begin or commit, from the connection.
Fallo falloDeConexion(const QSqlDatabase &db)
{
    return falloDe(db.lastError(), SQL_HANDLE_DBC, db.driver() ? db.driver()->handle() : QVariant());
}

void soloMarcar(void *datos) { static_cast<Detencion *>(datos)->pedida = 1; }

// Any ODBC data source through Qt's QODBC driver.
class ConectorOdbc final : public Conector {
public:
    ConectorOdbc(const Direccion &d, int espera)
        : nombreConexion_(QStringLiteral("telquin-dam-") + QUuid::createUuid().toString(QUuid::WithoutBraces))
        , espera_(espera)
    {
        db_ = abrirBaseDeDatos(d, nombreConexion_, espera_);
        parada_.espera = std::chrono::seconds(espera_);
    }

    ~ConectorOdbc() override
    {
        db_.close();
        db_ = QSqlDatabase();
        QSqlDatabase::removeDatabase(nombreConexion_);
    }

    ConectorOdbc(const ConectorOdbc &) = delete;
    ConectorOdbc &operator=(const ConectorOdbc &) = delete;

    bool tomaCorchetes() const override { return false; }

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
        if (!db_.driver() || db_.driver()->hasFeature(QSqlDriver::Unicode))
            return true;
        return std::none_of(texto.cbegin(), texto.cend(), [](QChar c) { return c.unicode() > 0x7f; });
    }

    // The driver manager names the server; only PostgreSQL's SQL is written here.
    std::optional<DialectoDeBloque> dialecto() const override
    {
        if (esPostgresql())
            return DialectoDeBloque::Postgres;
        return std::nullopt;
    }

    bool guardaDesenlaces() const override { return esPostgresql(); }

    // A server that no longer answers fails the simplest statement too. Asking costs a
    // round trip, and only after a failure.
    bool conexionPerdida() override
    {
        if (!db_.isOpen())
            return true;
        QSqlQuery prueba(db_);
        return !prueba.exec(QStringLiteral("SELECT 1"));
    }

    std::optional<Fallo> reabrir() override
    {
        if (reabrirBaseDeDatos(db_, Motor::Odbc, espera_))
            return std::nullopt;
        Fallo f = falloDeConexion(db_);
        f.perdida = true;
        return f;
    }

    Respuesta ejecutar(const QString &texto, std::size_t maxFilas) override
    {
        Respuesta r;
        QSqlQuery q(db_);
        q.setForwardOnly(true);
        if (!db_.isOpen() || !q.exec(texto)) {
            Fallo f = falloDeSentencia(q);
            f.perdida = !db_.isOpen() || sesionTerminada(f);
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
            r.fallo = falloDeSentencia(q);
            r.alLeer = true;
        }
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
        // the transaction has begun, never. Beginning sends nothing through ODBC, so the
        // connection is asked first.
        if (conexionPerdida())
            if (auto f = reabrir())
                return f;
        std::optional<Fallo> fallo;
        if (!db_.transaction())
            fallo = falloDeConexion(db_);
        // The driver begins by itself; the level is the transaction's first statement.
        if (!fallo && aislamiento == Transacciones::Aislamiento::Repetible && esPostgresql()) {
            QSqlQuery q(db_);
            if (!q.exec(QStringLiteral("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ"))) {
                fallo = falloDeSentencia(q);
                (void)db_.rollback();
            }
        }
        if (fallo)
            fallo->perdida = !db_.isOpen();
        return fallo;
    }

    std::optional<Fallo> confirmar() override
    {
        if (db_.commit())
            return std::nullopt;
        Fallo f = falloDeConexion(db_);
        f.perdida = !db_.isOpen() || sesionTerminada(f);
        return f;
    }

    void revertir() noexcept override
    {
        // When this fails the transaction has already ended without storing anything:
        // the connection was lost, or the database rolled it back itself.
        if (db_.isOpen())
            (void)db_.rollback();
    }

    // Through ODBC the statement runs to its end, but no further wait begins.
    FilasEnBloque::Cancelacion cancelacion() override { return {&soloMarcar, &parada_}; }

    bool detenida() const override { return parada_.pedida != 0; }

private:
    bool esPostgresql() const { return db_.driver() && db_.driver()->dbmsType() == QSqlDriver::PostgreSQL; }

    QString nombreConexion_;
    QSqlDatabase db_;
    int espera_;
    Detencion parada_;
};

} // namespace

std::unique_ptr<Conector> abrirOdbc(const Direccion &d, int espera)
{
    return std::make_unique<ConectorOdbc>(d, espera);
}
