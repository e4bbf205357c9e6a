// SPDX-License-Identifier: GPL-3.0-or-later
#include "dam/AperturaPostgres.h"

#include "dam/MensajesEnIngles.h"

#include <QByteArray>
#include <QRegularExpression>

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace postgres {

namespace {

// The connection's own wait for each address it tries (connect_timeout, from the
// address, a service file or PGCONNECT_TIMEOUT): libpq's rule, at least 2 s; 0 is none.
int esperaDeConexion(PGconn *conexion)
{
    int segundos = 0;
    PQconninfoOption *const opciones = PQconninfo(conexion);
    for (const PQconninfoOption *o = opciones; o && o->keyword; ++o)
        if (std::strcmp(o->keyword, "connect_timeout") == 0 && o->val)
            segundos = std::atoi(o->val);
    PQconninfoFree(opciones);
    return segundos <= 0 ? 0 : std::max(segundos, 2);
}

// The SQLSTATE of the last refusal in a verbose message, taken out of the text, which
// is left as libpq writes it by default: "FATAL:  28P01: password ..." becomes
// "FATAL:  password ...", and the server's LOCATION line goes.
QString sacarEstado(QString &texto)
{
    static const QRegularExpression estado(QStringLiteral(":  ([0-9A-Z]{5}): "));
    static const QRegularExpression lugar(QStringLiteral("^LOCATION:  [^\n]*\n?"), QRegularExpression::MultilineOption);
    QString ultimo;
    for (auto it = estado.globalMatch(texto); it.hasNext();)
        ultimo = it.next().captured(1);
    texto.replace(estado, QStringLiteral(":  "));
    texto.remove(lugar);
    return ultimo;
}

} // namespace

// Opens a connection as PQconnectdbParams does, with one difference: while it opens,
// libpq's messages are verbose, because a refusal of the server's own is given no
// result to read its SQLSTATE from, and the verbose text is the one place libpq puts
// it ("FATAL:  28P01: ..."). Each address gets connect_timeout, as in libpq's wait: when
// it runs out, the socket is shut, and libpq goes on to the next address if none had
// answered there yet; one that took the connection and then fell silent ends the
// opening, where libpq's own wait would try the next (it offers no call for that).
PGconn *conectar(const PedidoPostgres &pedido, bool &agotada)
{
    std::vector<const char *> claves;
    std::vector<const char *> valores;
    for (const auto &[clave, valor] : pedido.parametros) {
        claves.push_back(clave.constData());
        valores.push_back(valor.constData());
    }
    claves.push_back(nullptr);
    valores.push_back(nullptr);
    const MensajesDeLosDriversEnIngles ingles;
    agotada = false;
    PGconn *const conexion = PQconnectStartParams(claves.data(), valores.data(), 0);
    if (!conexion || PQstatus(conexion) == CONNECTION_BAD)
        return conexion;
    PQsetErrorVerbosity(conexion, PQERRORS_VERBOSE);
    const auto espera = std::chrono::seconds(esperaDeConexion(conexion));
    using Reloj = std::chrono::steady_clock;
    Reloj::time_point limite = Reloj::now() + espera;
    ConnStatusType antes = PQstatus(conexion);
    PostgresPollingStatusType paso = PGRES_POLLING_WRITING;
    while (paso != PGRES_POLLING_OK && paso != PGRES_POLLING_FAILED) {
        // A new address began: its own wait.
        const ConnStatusType ahora = PQstatus(conexion);
        if (ahora == CONNECTION_STARTED && antes != CONNECTION_STARTED)
            limite = Reloj::now() + espera;
        antes = ahora;
        pollfd pf{PQsocket(conexion), short(paso == PGRES_POLLING_READING ? POLLIN : POLLOUT), 0};
        int ms = -1;
        if (espera.count() > 0) {
            const auto resta = std::chrono::duration_cast<std::chrono::milliseconds>(limite - Reloj::now()).count();
            ms = int(std::max<decltype(resta)>(resta, 0));
        }
        const int listos = ::poll(&pf, 1, ms);
        if (listos < 0 && errno == EINTR)
            continue;
        if (listos == 0) {
            agotada = true;
            ::shutdown(pf.fd, SHUT_RDWR);
            limite = Reloj::now() + espera;
        }
        paso = PQconnectPoll(conexion);
    }
    PQsetErrorVerbosity(conexion, PQERRORS_DEFAULT);
    return conexion;
}

// libpq's text of a connection that failed; the SQLSTATE out of it, and libpq's own
// words when an address's wait ran out.
QString textoDeConexion(PGconn *conexion, bool agotada, QString &estadoSql)
{
    QString texto = QString::fromUtf8(PQerrorMessage(conexion));
    estadoSql = sacarEstado(texto);
    if (agotada)
        texto += QStringLiteral("timeout expired");
    return texto.trimmed();
}

} // namespace postgres
