#include "Parametros.h"

#include "Contrato.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QSqlError>
#include <QStandardPaths>
#include <QUrl>
#include <QUrlQuery>

namespace {

const QString kPrefijoSqlite = QStringLiteral("sqlite:");
const QString kPrefijoOdbc = QStringLiteral("odbc:");

bool esUrlPostgres(const QString &url)
{
    return url.startsWith(QStringLiteral("postgresql://")) || url.startsWith(QStringLiteral("postgres://"));
}

QString expandirInicio(const QString &ruta)
{
    if (ruta == QStringLiteral("~") || ruta.startsWith(QStringLiteral("~/")))
        return QDir::homePath() + ruta.mid(1);
    return ruta;
}

QSqlDatabase nuevaConexion(const QString &driver, const QString &nombreConexion)
{
    if (!QSqlDatabase::isDriverAvailable(driver))
        throw ErrorComponente(QStringLiteral("No está instalado el controlador de base de datos %1.").arg(driver));
    return QSqlDatabase::addDatabase(driver, nombreConexion);
}

QSqlDatabase prepararSqlite(const QString &url, const QString &nombreConexion)
{
    const QString ruta = expandirInicio(url.mid(kPrefijoSqlite.size()));
    if (ruta.isEmpty())
        throw ErrorComponente(QStringLiteral("La dirección de la base de datos \"%1\" no indica ningún archivo.").arg(url));
    const QFileInfo archivo(ruta);
    if (!archivo.isFile())
        throw ErrorComponente(QStringLiteral("No existe la base de datos %1.").arg(archivo.absoluteFilePath()));

    QSqlDatabase db = nuevaConexion(QStringLiteral("QSQLITE"), nombreConexion);
    // mode=rw makes SQLite itself refuse to create the file if it vanished meanwhile;
    // the busy timeout makes a statement wait while another program writes the file.
    QUrl uri = QUrl::fromLocalFile(archivo.absoluteFilePath());
    uri.setQuery(QStringLiteral("mode=rw"));
    db.setDatabaseName(uri.toString(QUrl::FullyEncoded));
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=10000"));
    return db;
}

QSqlDatabase prepararPostgres(const QString &url, const QString &nombreConexion)
{
    const QUrl u(url, QUrl::StrictMode);
    if (!u.isValid())
        throw ErrorComponente(QStringLiteral("La dirección de la base de datos \"%1\" no es válida.").arg(urlSinClave(url)));

    QSqlDatabase db = nuevaConexion(QStringLiteral("QPSQL"), nombreConexion);
    db.setHostName(u.host());
    if (u.port() > 0)
        db.setPort(u.port());
    db.setUserName(u.userName(QUrl::FullyDecoded));
    db.setPassword(u.password(QUrl::FullyDecoded));
    db.setDatabaseName(u.path(QUrl::FullyDecoded).mid(1));

    QStringList opciones;
    bool conEspera = false;
    const auto items = QUrlQuery(u).queryItems(QUrl::FullyDecoded);
    for (const auto &[clave, valor] : items) {
        if (clave == QStringLiteral("host"))
            db.setHostName(valor);
        else if (clave == QStringLiteral("port"))
            db.setPort(valor.toInt());
        else
            opciones << clave + QLatin1Char('=') + valor;
        conEspera = conEspera || clave == QStringLiteral("connect_timeout");
    }
    if (!conEspera)
        opciones << QStringLiteral("connect_timeout=10");
    db.setConnectOptions(opciones.join(QLatin1Char(';')));
    return db;
}

QSqlDatabase prepararOdbc(const QString &url, const QString &nombreConexion)
{
    const QString cadena = url.mid(kPrefijoOdbc.size());
    if (cadena.trimmed().isEmpty())
        throw ErrorComponente(QStringLiteral("La dirección de la base de datos \"odbc:\" no indica ningún origen de datos."));
    QSqlDatabase db = nuevaConexion(QStringLiteral("QODBC"), nombreConexion);
    db.setDatabaseName(cadena);
    return db;
}

} // namespace

QString rutaBaseDeDatosPorDefecto()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
         + QStringLiteral("/telquin/ncm.sqlite");
}

QString resolverUrlBaseDeDatos()
{
    const QString variable = qEnvironmentVariable("DAM_DATABASE_URL");
    if (!variable.isEmpty())
        return variable;

    const QString conf = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
                       + QStringLiteral("/telquin/dam.conf");
    if (QFileInfo::exists(conf)) {
        const QSettings ajustes(conf, QSettings::IniFormat);
        if (ajustes.status() != QSettings::NoError)
            throw ErrorComponente(QStringLiteral("No se puede leer el archivo de parámetros %1.").arg(conf));
        const QString url = ajustes.value(QStringLiteral("database/url")).toString();
        if (!url.isEmpty())
            return url;
    }
    return kPrefijoSqlite + rutaBaseDeDatosPorDefecto();
}

QString urlSinClave(const QString &url)
{
    if (esUrlPostgres(url)) {
        QUrl u(url);
        if (!u.password().isEmpty())
            u.setPassword(QStringLiteral("***"));
        QUrlQuery consulta(u);
        if (consulta.hasQueryItem(QStringLiteral("password"))) {
            consulta.removeAllQueryItems(QStringLiteral("password"));
            consulta.addQueryItem(QStringLiteral("password"), QStringLiteral("***"));
            u.setQuery(consulta);
        }
        return u.toString();
    }
    if (url.startsWith(kPrefijoOdbc)) {
        static const QRegularExpression clave(QStringLiteral("(PWD|PASSWORD)\\s*=\\s*(\\{[^}]*\\}|[^;]*)"),
                                              QRegularExpression::CaseInsensitiveOption);
        return QString(url).replace(clave, QStringLiteral("\\1=***"));
    }
    return url;
}

QSqlDatabase abrirBaseDeDatos(const QString &url, const QString &nombreConexion)
{
    QSqlDatabase db;
    if (url.startsWith(kPrefijoSqlite))
        db = prepararSqlite(url, nombreConexion);
    else if (esUrlPostgres(url))
        db = prepararPostgres(url, nombreConexion);
    else if (url.startsWith(kPrefijoOdbc))
        db = prepararOdbc(url, nombreConexion);
    else
        throw ErrorComponente(QStringLiteral("La dirección de la base de datos \"%1\" no es de una forma conocida "
                                             "(sqlite:, postgresql:// u odbc:).").arg(urlSinClave(url)));

    if (!db.open()) {
        const QString causa = db.lastError().text();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(nombreConexion);
        throw ErrorComponente(QStringLiteral("No se puede abrir la base de datos %1: %2").arg(urlSinClave(url), causa));
    }
    return db;
}
