// SPDX-License-Identifier: GPL-3.0-or-later
// The module postgresql.so: only this unit, libpq and Qt Core. What the address and
// the component decide comes in a PedidoPostgres, already written out.
#include "dam/ConectorPostgres.h"

#include "dam/AperturaPostgres.h"
#include "dam/Detencion.h"

#include <libpq-fe.h>

#include <QByteArray>
#include <QRegularExpression>

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <type_traits>

namespace {

// The type numbers of pg_type whose values Qt's driver gave as numbers or truth
// values; any other comes as text.
enum : Oid {
    kBool = 16,
    kInt8 = 20,
    kInt2 = 21,
    kInt4 = 23,
    kOid = 26,
    kFloat4 = 700,
    kFloat8 = 701,
    kNumeric = 1700,
};

QVariant valorDe(const PGresult *res, int fila, int columna)
{
    if (PQgetisnull(res, fila, columna))
        return {};
    const char *texto = PQgetvalue(res, fila, columna);
    switch (PQftype(res, columna)) {
    case kBool:
        return texto[0] == 't';
    case kInt2:
    case kInt4:
        return int(std::strtol(texto, nullptr, 10));
    case kOid:
        return uint(std::strtoul(texto, nullptr, 10));
    case kInt8:
        // Qt's driver gave a bigint unsigned unless it was negative.
        if (texto[0] == '-')
            return qlonglong(std::strtoll(texto, nullptr, 10));
        return qulonglong(std::strtoull(texto, nullptr, 10));
    case kFloat4:
    case kFloat8:
    case kNumeric:
        return QString::fromLatin1(texto).toDouble();
    default:
        break;
    }
    return QString::fromUtf8(texto, PQgetlength(res, fila, columna));
}

class Resultado {
public:
    explicit Resultado(PGresult *res) : res_(res) { }
    ~Resultado() { PQclear(res_); }
    Resultado(const Resultado &) = delete;
    Resultado &operator=(const Resultado &) = delete;
    PGresult *get() const { return res_; }

private:
    PGresult *res_;
};

void cancelar(void *datos)
{
    auto &parada = *static_cast<Detencion *>(datos);
    parada.pedida = 1;
    // PQcancel is safe in a signal handler, as libpq's manual says.
    if (auto *const cancelacion = static_cast<PGcancel *>(parada.pgCancel.load())) {
        char error[256];
        (void)PQcancel(cancelacion, error, int(sizeof error));
    }
}

class ConectorPostgres final : public Conector {
public:
    ConectorPostgres(const PedidoPostgres &pedido, PGconn *conexion) : pedido_(pedido), conexion_(conexion)
    {
        parada_.espera = std::chrono::seconds(pedido_.espera);
        renovarCancelacion();
    }

    ~ConectorPostgres() override
    {
        if (void *const anterior = parada_.pgCancel.exchange(nullptr))
            PQfreeCancel(static_cast<PGcancel *>(anterior));
        PQfinish(conexion_);
    }

    ConectorPostgres(const ConectorPostgres &) = delete;
    ConectorPostgres &operator=(const ConectorPostgres &) = delete;

    bool tomaCorchetes() const override { return false; }

    // As Qt's driver wrote a name: between double quotes, and a dot as the join of a
    // schema and a table.
    QString citar(const QString &nombre) const override
    {
        if (nombre.size() >= 2 && nombre.startsWith(u'"') && nombre.endsWith(u'"'))
            return nombre;
        return u'"' + QString(nombre).replace(u'"', QStringLiteral("\"\"")).replace(u'.', QStringLiteral("\".\""))
            + u'"';
    }

    bool transmite(QStringView) const override { return true; }
    std::optional<DialectoDeBloque> dialecto() const override { return DialectoDeBloque::Postgres; }
    bool guardaDesenlaces() const override { return true; }
    std::optional<qlonglong> numeroDeTransaccion() const override { return numero_; }

    // A server that no longer answers fails the simplest statement too. Asking costs a
    // round trip, and only after a failure.
    bool conexionPerdida() override
    {
        if (PQstatus(conexion_) != CONNECTION_OK)
            return true;
        const Resultado r(PQexec(conexion_, "SELECT 1"));
        return PQresultStatus(r.get()) != PGRES_TUPLES_OK;
    }

    std::optional<Fallo> reabrir() override
    {
        bool agotada = false;
        PGconn *const nueva = postgres::conectar(pedido_, agotada);
        if (PQstatus(nueva) != CONNECTION_OK) {
            QString estado;
            const QString texto = postgres::textoDeConexion(nueva, agotada, estado);
            PQfinish(nueva);
            return Fallo{texto, texto, -1, estado, true};
        }
        PGconn *const vieja = conexion_;
        conexion_ = nueva;
        renovarCancelacion();
        PQfinish(vieja);
        return std::nullopt;
    }

    Respuesta ejecutar(const QString &texto, std::size_t maxFilas) override
    {
        const QByteArray utf8 = texto.toUtf8();
        return leer(PQexecParams(conexion_, utf8.constData(), 0, nullptr, nullptr, nullptr, nullptr, 0), maxFilas);
    }

    Respuesta consultarBloque(const QString &json, bool bloquear) override
    {
        return conJson(bloquear ? pedido_.consultaBloqueando : pedido_.consulta, json);
    }

    Respuesta actualizarBloque(const QString &json) override { return conJson(pedido_.actualizacion, json); }

    std::optional<Fallo> comenzar(Transacciones::Aislamiento aislamiento) override
    {
        // A connection lost while idle is opened again here, as a statement would; once
        // the transaction has begun, never. BEGIN is itself the question, and asking
        // only after it fails saves every transaction a round trip.
        if (PQstatus(conexion_) != CONNECTION_OK)
            if (auto f = reabrir())
                return f;
        // The transaction's number, asked for a commit whose answer may be lost, comes
        // in the same round trip as BEGIN.
        const char *const comienzo = aislamiento == Transacciones::Aislamiento::Repetible
            ? "BEGIN ISOLATION LEVEL REPEATABLE READ; SELECT txid_current()"
            : "BEGIN; SELECT txid_current()";
        std::optional<Fallo> fallo = comenzarCon(comienzo);
        if (fallo && (sesionTerminada(*fallo) || conexionPerdida())) {
            if (auto f = reabrir())
                return f;
            fallo = comenzarCon(comienzo);
        }
        if (fallo)
            fallo->perdida = PQstatus(conexion_) != CONNECTION_OK;
        return fallo;
    }

    std::optional<Fallo> confirmar() override
    {
        const Resultado r(PQexec(conexion_, "COMMIT"));
        if (PQresultStatus(r.get()) == PGRES_COMMAND_OK) {
            // The server answers the commit of a transaction an error had aborted with
            // ROLLBACK: nothing was stored.
            if (std::strcmp(PQcmdStatus(r.get()), "ROLLBACK") != 0)
                return std::nullopt;
            return Fallo{QStringLiteral("ROLLBACK"), {}, -1, {}, false};
        }
        Fallo f = falloDe(r.get());
        f.perdida = PQstatus(conexion_) != CONNECTION_OK || sesionTerminada(f);
        return f;
    }

    void revertir() noexcept override
    {
        // When this fails the transaction has already ended without storing anything:
        // the connection was lost, or the server rolled it back itself.
        if (PQstatus(conexion_) == CONNECTION_OK)
            PQclear(PQexec(conexion_, "ROLLBACK"));
    }

    FilasEnBloque::Cancelacion cancelacion() override { return {&cancelar, &parada_}; }
    bool detenida() const override { return parada_.pedida != 0; }

private:
    // A cancel object for the connection open now; the previous one is freed once no
    // handler can reach it any more (the handler runs on this same thread, never
    // halfway through this exchange).
    void renovarCancelacion()
    {
        void *const anterior = parada_.pgCancel.exchange(PQgetCancel(conexion_));
        if (anterior)
            PQfreeCancel(static_cast<PGcancel *>(anterior));
    }

    Fallo falloDe(const PGresult *res) const
    {
        const char *estado = res ? PQresultErrorField(res, PG_DIAG_SQLSTATE) : nullptr;
        const char *primario = res ? PQresultErrorField(res, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
        const char *texto = res ? PQresultErrorMessage(res) : "";
        if (!texto || !*texto)
            texto = PQerrorMessage(conexion_);
        return Fallo{QString::fromUtf8(texto).trimmed(), QString::fromUtf8(primario ? primario : ""), -1,
                     QString::fromLatin1(estado ? estado : ""), false};
    }

    Respuesta leer(PGresult *res, std::size_t maxFilas)
    {
        const Resultado r(res);
        Respuesta respuesta;
        const ExecStatusType estado = PQresultStatus(res);
        if (estado != PGRES_TUPLES_OK && estado != PGRES_COMMAND_OK) {
            Fallo f = falloDe(res);
            f.perdida = PQstatus(conexion_) != CONNECTION_OK || sesionTerminada(f);
            respuesta.fallo = std::move(f);
            return respuesta;
        }
        if (maxFilas == 0) {
            respuesta.afectadas = std::atoll(PQcmdTuples(res));
            return respuesta;
        }
        const int columnas = PQnfields(res);
        const auto filas = std::size_t(PQntuples(res));
        if (filas > 0)
            for (int i = 0; i < columnas; ++i)
                respuesta.columnas.push_back(QString::fromUtf8(PQfname(res, i)));
        for (std::size_t f = 0; f < std::min(filas, maxFilas); ++f) {
            std::vector<QVariant> fila;
            fila.reserve(std::size_t(columnas));
            for (int i = 0; i < columnas; ++i)
                fila.push_back(valorDe(res, int(f), i));
            respuesta.filas.push_back(std::move(fila));
        }
        return respuesta;
    }

    Respuesta conJson(const QByteArray &sentencia, const QString &json)
    {
        const QByteArray valor = json.toUtf8();
        const char *const valores[] = {valor.constData()};
        return leer(PQexecParams(conexion_, sentencia.constData(), 1, nullptr, valores, nullptr, nullptr, 0),
                    kTodasLasFilas);
    }

    // BEGIN and the number of the transaction it began. A failure leaves no
    // transaction open.
    std::optional<Fallo> comenzarCon(const char *sentencias)
    {
        numero_.reset();
        const Resultado r(PQexec(conexion_, sentencias));
        if (PQresultStatus(r.get()) == PGRES_TUPLES_OK && PQntuples(r.get()) == 1) {
            bool esNumero = false;
            const qlonglong n = QByteArray(PQgetvalue(r.get(), 0, 0)).toLongLong(&esNumero);
            if (esNumero)
                numero_ = n;
            return std::nullopt;
        }
        Fallo f = falloDe(r.get());
        if (PQtransactionStatus(conexion_) != PQTRANS_IDLE)
            PQclear(PQexec(conexion_, "ROLLBACK"));
        return f;
    }

    std::optional<Fallo> paso(const char *sentencia)
    {
        const Resultado r(PQexec(conexion_, sentencia));
        if (PQresultStatus(r.get()) == PGRES_COMMAND_OK)
            return std::nullopt;
        return falloDe(r.get());
    }

    const PedidoPostgres pedido_;
    PGconn *conexion_;
    Detencion parada_;
    std::optional<qlonglong> numero_;
};

} // namespace

extern "C" Q_DECL_EXPORT Conector *TELQUIN_ENTRADA_POSTGRES(const PedidoPostgres &pedido, AperturaFallida &fallo)
{
    bool agotada = false;
    PGconn *const conexion = postgres::conectar(pedido, agotada);
    if (PQstatus(conexion) == CONNECTION_OK)
        return new ConectorPostgres(pedido, conexion);
    fallo.texto = postgres::textoDeConexion(conexion, agotada, fallo.estadoSql);
    fallo.faltabaClave = PQconnectionNeedsPassword(conexion) != 0;
    PQfinish(conexion);
    return nullptr;
}
static_assert(std::is_same_v<decltype(&TELQUIN_ENTRADA_POSTGRES), EntradaPostgres>);
