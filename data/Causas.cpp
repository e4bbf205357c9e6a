// SPDX-License-Identifier: GPL-3.0-or-later
#include "Causas.h"

#include <QRegularExpression>
#include <QSqlError>

#include <initializer_list>

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

CausaDeFallo causaDeSentencia(const QSqlError &error, const QString &driver, const QString &entidad, int espera)
{
    const QString codigo = error.nativeErrorCode();
    const QString texto = error.databaseText();
    const bool sqlite = driver == QLatin1String("QSQLITE");
    const bool postgres = driver == QLatin1String("QPSQL");
    const int extendido = sqlite ? codigo.toInt() : -1;
    const int basico = extendido & 0xff;
    // QPSQL gives the SQLSTATE; its class (two characters) groups the causes.
    const QString clase = postgres ? codigo.left(2) : QString();

    if (basico == kSqliteBusy || basico == kSqliteLocked || codigo == QLatin1String("55P03")
        || codigo == QLatin1String("40P01") || codigo == QLatin1String("57014")
        || (!sqlite && !postgres
            && contiene(texto,
                        {"lock timeout", "deadlock", "statement timeout", "tiempo de espera de candados",
                         "tiempo de espera de sentencias", "database is locked"})))
        return {QStringLiteral("otro usuario tiene ocupada la tabla %1 desde hace más de %2 s; vuelva a intentarlo")
                    .arg(entidad)
                    .arg(espera),
                true};
    if (codigo == QLatin1String("42P01") || contiene(texto, {"no such table", "Invalid object name"})
        || coincide(texto, QStringLiteral("relation \"[^\"]*\" does not exist|no existe la relación «[^»]*»")))
        return {QStringLiteral("la tabla %1 no existe en la base de datos").arg(entidad)};
    if (basico == kSqliteFull || codigo == QLatin1String("53100")
        || contiene(texto, {"disk is full", "No space left on device", "No queda espacio en el dispositivo"}))
        return {QStringLiteral("el disco de la base de datos está lleno")};
    if (extendido == kSqliteReadonlyDbmoved)
        return {QStringLiteral("el archivo de la base de datos fue borrado o reemplazado mientras el programa lo "
                               "usaba; vuelva a abrir el programa")};
    if (basico == kSqliteReadonly || codigo == QLatin1String("25006")
        || contiene(texto, {"readonly database", "read-only transaction", "transacción de sólo lectura"}))
        return {QStringLiteral("la base de datos es de solo lectura y no admite cambios")};
    if (codigo == QLatin1String("42501") || contiene(texto, {"permission denied", "permiso denegado"}))
        return {QStringLiteral("el usuario de la base de datos no tiene permiso sobre la tabla %1").arg(entidad)};
    if (basico == kSqliteCorrupt || basico == kSqliteNotadb || clase == QLatin1String("XX")
        || contiene(texto, {"malformed"}))
        return {QStringLiteral("el archivo de la base de datos está dañado")};
    return {QStringLiteral("la base de datos rechazó la sentencia")};
}
