// SPDX-License-Identifier: GPL-3.0-or-later
#include "dam/Causas.h"

#include <QRegularExpression>

#include <initializer_list>
#include <utility>

namespace {

bool contiene(const QString &texto, std::initializer_list<const char *> pistas)
{
    for (const char *pista : pistas)
        if (texto.contains(QString::fromUtf8(pista), Qt::CaseInsensitive))
            return true;
    return false;
}

bool coincide(const QString &texto, const QString &patron)
{
    return QRegularExpression(patron, QRegularExpression::CaseInsensitiveOption).match(texto).hasMatch();
}

} // namespace

QString causaDeApertura(const QString &textoDriver)
{
    if (contiene(textoDriver,
                 {"password authentication failed", "authentication failed", "Login failed", "no password supplied",
                  "la autentificación password falló", "falló la autentificación", "no se entregó una contraseña"})
        || coincide(textoDriver, QStringLiteral("role \"[^\"]*\" does not exist|no existe el rol «[^»]*»")))
        return QStringLiteral("el servidor rechazó el usuario o la clave");
    if (contiene(textoDriver,
                 {"could not translate host name", "Name or service not known", "Temporary failure in name resolution",
                  "Unknown host", "Unknown server"}))
        return QStringLiteral("no se encuentra el servidor: el nombre del equipo no existe");
    if (contiene(textoDriver,
                 {"Connection refused", "Is the server running", "timeout expired", "No route to host",
                  "Network is unreachable", "server was not found or was not accessible"}))
        return QStringLiteral("el servidor no responde: no está en marcha o no acepta conexiones en esa dirección");
    if (coincide(textoDriver, QStringLiteral("database \"[^\"]*\" does not exist|no existe la base de datos «[^»]*»"))
        || contiene(textoDriver, {"Cannot open database"}))
        return QStringLiteral("la base de datos no existe en el servidor");
    if (contiene(textoDriver, {"Data source name not found"}))
        return QStringLiteral("no existe el origen de datos ODBC");
    if (contiene(textoDriver, {"Can't open lib", "file not found"}))
        return QStringLiteral("no se puede cargar el controlador ODBC");
    return QStringLiteral("el controlador de la base de datos no pudo abrirla");
}

QString causaDeAperturaPostgres(const QString &textoDriver, const QString &estadoSql, bool faltabaClave)
{
    // Refused by the server: a wrong password (28P01), a user it does not know or an
    // entry of pg_hba.conf that turns it away (28000), a database it does not have.
    if (estadoSql == QLatin1String("28P01") || estadoSql == QLatin1String("28000") || faltabaClave)
        return QStringLiteral("el servidor rechazó el usuario o la clave");
    if (estadoSql == QLatin1String("3D000"))
        return QStringLiteral("la base de datos no existe en el servidor");
    return causaDeApertura(textoDriver);
}

namespace {

// SQLite's result codes (sqlite3.h).
enum : int {
    kSqliteBusy = 5,
    kSqliteLocked = 6,
    kSqliteReadonly = 8,
    kSqliteCorrupt = 11,
    kSqliteFull = 13,
    kSqliteNotadb = 26,
    kSqliteReadonlyDbmoved = kSqliteReadonly | (4 << 8),
};

enum class Motivo {
    EsperaAgotada,
    Interbloqueo,
    Cancelada,
    CambioConcurrente,
    TablaQueFalta,
    DiscoLleno,
    ArchivoReemplazado,
    SoloLectura,
    SinPermiso,
    Danada,
    Rechazada,
};

Motivo motivoDeSqlite(const Fallo &fallo)
{
    switch (fallo.codigoSqlite & 0xff) {
    case kSqliteBusy:
    case kSqliteLocked:
        return Motivo::EsperaAgotada;
    case kSqliteFull:
        return Motivo::DiscoLleno;
    case kSqliteReadonly:
        return fallo.codigoSqlite == kSqliteReadonlyDbmoved ? Motivo::ArchivoReemplazado : Motivo::SoloLectura;
    case kSqliteCorrupt:
    case kSqliteNotadb:
        return Motivo::Danada;
    default:
        break;
    }
    // SQLite gives a missing table no code of its own; its texts are never translated.
    return fallo.textoBase.startsWith(QLatin1String("no such table")) ? Motivo::TablaQueFalta : Motivo::Rechazada;
}

Motivo motivoDeServidor(const QString &estado)
{
    // PostgreSQL's SQLSTATEs, and ODBC's own for a missing table.
    static const std::pair<const char *, Motivo> kPorEstado[] = {
        {"55P03", Motivo::EsperaAgotada},     {"40P01", Motivo::Interbloqueo},  {"57014", Motivo::Cancelada},
        {"40001", Motivo::CambioConcurrente}, {"42P01", Motivo::TablaQueFalta}, {"42S02", Motivo::TablaQueFalta},
        {"53100", Motivo::DiscoLleno},        {"25006", Motivo::SoloLectura},   {"42501", Motivo::SinPermiso},
    };
    for (const auto &[codigo, motivo] : kPorEstado)
        if (estado == QLatin1String(codigo))
            return motivo;
    return estado.startsWith(QLatin1String("XX")) ? Motivo::Danada : Motivo::Rechazada;
}

QString textoDe(Motivo motivo, const QString &entidad, int espera)
{
    switch (motivo) {
    case Motivo::EsperaAgotada:
        return QStringLiteral("otro usuario tiene ocupada la tabla %1 desde hace más de %2 s; vuelva a intentarlo")
            .arg(entidad)
            .arg(espera);
    case Motivo::Interbloqueo:
        return QStringLiteral("la base de datos detuvo la sentencia porque otro usuario esperaba a la vez por las "
                              "mismas filas de la tabla %1; vuelva a intentarlo")
            .arg(entidad);
    case Motivo::Cancelada:
        return QStringLiteral("se canceló la sentencia en el servidor; vuelva a intentarlo");
    case Motivo::CambioConcurrente:
        return QStringLiteral("otro usuario cambió la misma fila de la tabla %1 mientras tanto; vuelva a intentarlo")
            .arg(entidad);
    case Motivo::TablaQueFalta:
        return QStringLiteral("la tabla %1 no existe en la base de datos").arg(entidad);
    case Motivo::DiscoLleno:
        return QStringLiteral("el disco de la base de datos está lleno");
    case Motivo::ArchivoReemplazado:
        return QStringLiteral("el archivo de la base de datos fue borrado o reemplazado mientras el programa lo "
                              "usaba; vuelva a abrir el programa");
    case Motivo::SoloLectura:
        return QStringLiteral("la base de datos es de solo lectura y no admite cambios");
    case Motivo::SinPermiso:
        return QStringLiteral("el usuario de la base de datos no tiene permiso sobre la tabla %1").arg(entidad);
    case Motivo::Danada:
        return QStringLiteral("el archivo de la base de datos está dañado");
    case Motivo::Rechazada:
        break;
    }
    return QStringLiteral("la base de datos rechazó la sentencia");
}

std::optional<CondicionPasajera> condicionDe(Motivo motivo)
{
    switch (motivo) {
    case Motivo::EsperaAgotada:
        return CondicionPasajera::EsperaAgotada;
    case Motivo::Interbloqueo:
        return CondicionPasajera::Interbloqueo;
    case Motivo::Cancelada:
        return CondicionPasajera::Cancelada;
    case Motivo::CambioConcurrente:
        return CondicionPasajera::CambioConcurrente;
    default:
        return std::nullopt;
    }
}

} // namespace

CausaDeFallo causaDeSentencia(const Fallo &fallo, const QString &entidad, int espera)
{
    const Motivo motivo = fallo.codigoSqlite >= 0 ? motivoDeSqlite(fallo) : motivoDeServidor(fallo.estadoSql);
    return {textoDe(motivo, entidad, espera), condicionDe(motivo)};
}
