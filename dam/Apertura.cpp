// SPDX-License-Identifier: GPL-3.0-or-later
#include "dam/Apertura.h"

#include "dam/Causas.h"
#include "dam/Direccion.h"
#include "data/Avisos.h"
#include "data/Contrato.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QUrl>

namespace {

bool abrirEnIngles(QSqlDatabase &db)
{
    const MensajesDeLosDriversEnIngles ingles;
    return db.open();
}

QSqlDatabase nuevaConexion(const QString &driver, const QString &nombreConexion)
{
    if (!QSqlDatabase::isDriverAvailable(driver))
        throw ErrorComponente(QStringLiteral("No está instalado el controlador de base de datos %1.").arg(driver));
    return QSqlDatabase::addDatabase(driver, nombreConexion);
}

// The sample schema: the installed one, or this source tree's when the program runs
// from its build tree, where nothing is installed.
QString esquemaDeMuestra()
{
    const QString instalado = QStringLiteral(TELQUIN_DATADIR "/telquin/ncm.sql");
#ifdef TELQUIN_MUESTRA_DEL_ARBOL
    const QString delArbol = QStringLiteral(TELQUIN_MUESTRA_DEL_ARBOL);
    if (!QFileInfo::exists(instalado) && QFileInfo::exists(delArbol))
        return delArbol;
#endif
    return instalado;
}

// A path as a shell reads it back, for a command the user copies.
QString paraLaConsola(const QString &ruta)
{
    static const QRegularExpression simple(QStringLiteral("^[A-Za-z0-9_./+:,@%=-]+$"));
    if (simple.match(ruta).hasMatch())
        return ruta;
    return u'\'' + QString(ruta).replace(u'\'', QStringLiteral("'\\''")) + u'\'';
}

// The default database is missing on a first run, and the message says how to create
// the sample there. A file the user named may sit on a share that is not mounted:
// no sample is offered for it.
ErrorComponente baseQueNoExiste(const Direccion &d, const QString &ruta)
{
    if (d.origen != kOrigenPorDefecto) {
        const QString direccion
            = d.origen.isEmpty() ? d.visible : QStringLiteral("%1, que da %2").arg(d.visible, d.origen);
        return ErrorComponente(QStringLiteral("No existe la base de datos %1 (dirección %2). Si está en una carpeta "
                                              "compartida, compruebe que esté montada.")
                                   .arg(ruta, direccion));
    }
    QString mensaje
        = QStringLiteral("No existe la base de datos %1, la que Telquin abre cuando no hay un dam.conf ni "
                         "la variable DAM_DATABASE_URL. Para crear ahí la base de muestra:\n"
                         "mkdir -p %2 && sqlite3 %3 < %4")
              .arg(ruta, paraLaConsola(QFileInfo(ruta).path()), paraLaConsola(ruta), paraLaConsola(esquemaDeMuestra()));
    if (QStandardPaths::findExecutable(QStringLiteral("sqlite3")).isEmpty())
        mensaje += QStringLiteral("\n(La orden sqlite3 viene en el paquete sqlite3: apt install sqlite3.)");
    return ErrorComponente(mensaje);
}

QSqlDatabase prepararSqlite(const Direccion &d, const QString &nombreConexion, int espera)
{
    const QString uri = uriSqlite(archivoSqlite(d));
    QSqlDatabase db = nuevaConexion(QStringLiteral("QSQLITE"), nombreConexion);
    // The busy timeout makes a statement wait, up to the limit, while another program
    // writes the file.
    db.setDatabaseName(uri);
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(espera * 1000));
    return db;
}

// A value as libpq's connection string takes it.
QString entreComillas(QString valor)
{
    return u'\'' + valor.replace(u'\\', QStringLiteral("\\\\")).replace(u'\'', QStringLiteral("\\'")) + u'\'';
}

QSqlDatabase prepararPostgres(const Direccion &d, const QString &nombreConexion, int espera)
{
    QSqlDatabase db = nuevaConexion(QStringLiteral("QPSQL"), nombreConexion);
    db.setHostName(d.host);
    if (d.puerto > 0)
        db.setPort(d.puerto);
    db.setUserName(d.usuario);
    db.setPassword(d.clave);
    db.setDatabaseName(d.base);
    QStringList opciones;
    for (const auto &[clave, valor] : ajustesDeSesionPostgres(d, espera))
        opciones << clave + u'=' + entreComillas(valor);
    db.setConnectOptions(opciones.join(u';'));
    return db;
}

// QODBC hands a string that names a driver or a server to the driver manager as it
// is, and puts "DSN=" before any other; so a data source's name goes first, without
// its key ("DSN=tarifas;UID=u" would reach it as "DSN=DSN=tarifas;UID=u").
QString cadenaParaQodbc(const QString &cadena)
{
    for (const char *clave : {"DRIVER=", "SERVER=", ".dsn"})
        if (cadena.contains(QLatin1String(clave), Qt::CaseInsensitive))
            return cadena;
    static const QRegularExpression dsn(QStringLiteral("(?:^|;)\\s*DSN\\s*=\\s*([^;]*)"),
                                        QRegularExpression::CaseInsensitiveOption);
    const auto m = dsn.match(cadena);
    if (!m.hasMatch())
        return cadena;
    QString resto = cadena;
    resto.remove(m.capturedStart(), m.capturedLength());
    if (!resto.isEmpty() && !resto.startsWith(u';'))
        resto.prepend(u';');
    return m.captured(1).trimmed() + resto;
}

QSqlDatabase prepararOdbc(const Direccion &d, const QString &nombreConexion)
{
    QSqlDatabase db = nuevaConexion(QStringLiteral("QODBC"), nombreConexion);
    db.setDatabaseName(cadenaParaQodbc(d.cadena));
    return db;
}

void prepararSesionOdbc(QSqlDatabase &db, Motor motor, int espera)
{
    if (motor != Motor::Odbc)
        return;
    const bool postgres = db.driver() && db.driver()->dbmsType() == QSqlDriver::PostgreSQL;
    ajustarSesionOdbc(
        [&db](const QString &sentencia) -> std::optional<QString> {
            QSqlQuery q(db);
            if (q.exec(sentencia))
                return std::nullopt;
            return q.lastError().text().trimmed();
        },
        postgres, espera);
}

// A session whose settings could not be made is no use: closed, and its error raised.
void prepararSesionOCerrar(QSqlDatabase &db, Motor motor, int espera)
{
    try {
        prepararSesionOdbc(db, motor, espera);
    } catch (...) {
        db.close();
        throw;
    }
}

} // namespace

QList<std::pair<QString, QString>> ajustesDeSesionPostgres(const Direccion &d, int espera)
{
    // The server itself gives up on a lock after the wait, and notices a client that
    // went away, so a killed program leaves no statement behind that lands later.
    // Literals are always read as written: a backslash escapes nothing.
    QString sesion = QStringLiteral("-c lock_timeout=%1 -c standard_conforming_strings=on "
                                    "-c client_connection_check_interval=1000")
                         .arg(espera * 1000);
    QList<std::pair<QString, QString>> ajustes;
    QStringList dadas;
    for (const auto &[clave, valor] : d.opciones) {
        dadas << clave;
        // Every statement is written in UTF-8, whatever the address asks for.
        if (clave == QLatin1String("client_encoding"))
            continue;
        if (clave == QLatin1String("options"))
            sesion = valor + u' ' + sesion;
        else
            ajustes.append({clave, valor});
    }
    ajustes.append({QStringLiteral("options"), sesion});
    ajustes.append({QStringLiteral("client_encoding"), QStringLiteral("UTF8")});
    // Keepalives let a window left open all day keep a connection that a firewall
    // would otherwise drop unseen.
    const std::pair<const char *, const char *> porDefecto[] = {
        {"connect_timeout", "10"},     {"keepalives", "1"},       {"keepalives_idle", "60"},
        {"keepalives_interval", "10"}, {"keepalives_count", "6"}, {"application_name", "telquin"},
    };
    for (const auto &[clave, valor] : porDefecto)
        if (!dadas.contains(QLatin1String(clave)))
            ajustes.append({QLatin1String(clave), QLatin1String(valor)});
    return ajustes;
}

QString archivoSqlite(const Direccion &d)
{
    const QFileInfo archivo(d.ruta);
    if (archivo.isDir())
        throw ErrorComponente(QStringLiteral("La base de datos %1 es una carpeta, no un archivo de base de datos.")
                                  .arg(archivo.absoluteFilePath()));
    if (!archivo.isFile())
        throw baseQueNoExiste(d, archivo.absoluteFilePath());
    return archivo.absoluteFilePath();
}

QString uriSqlite(const QString &ruta)
{
    // mode=rw makes SQLite itself refuse to create the file if it vanished meanwhile.
    QUrl uri = QUrl::fromLocalFile(ruta);
    uri.setQuery(QStringLiteral("mode=rw"));
    return uri.toString(QUrl::FullyEncoded);
}

void ajustarSesionOdbc(const EjecutorDeAjuste &ejecutar, bool postgres, int espera)
{
    const auto refusado = [](const QString &sentencia, const QString &consecuencia, const QString &razon) {
        QString aviso = QStringLiteral("El servidor de la base de datos no aceptó «%1»: se trabaja %2.")
                            .arg(sentencia, consecuencia);
        return razon.isEmpty() ? aviso : aviso + u'\n' + razon;
    };
    const QString bloqueos = QStringLiteral("SET lock_timeout = %1").arg(espera * 1000);
    if (const auto razon = ejecutar(bloqueos))
        avisarDelComponente(refusado(bloqueos, QStringLiteral("sin límite de espera por bloqueos"), *razon));
    // Another server has none of these settings; it gets only statements whose
    // literals hold no backslash.
    if (!postgres)
        return;
    // A batch's chunk travels as JSON inside one literal, and JSON writes a quote in a
    // value as \"; a server reading that backslash as an escape would read other
    // values than the ones sent, perhaps another row's key. Without this setting
    // nothing is sent at all.
    const QString literales = QStringLiteral("SET standard_conforming_strings = on");
    if (const auto razon = ejecutar(literales))
        throw ErrorComponente(
            QStringLiteral("El servidor de la base de datos no aceptó «%1», sin lo cual leería una barra inversa "
                           "dentro de un texto como un escape; Telquin no trabaja así.%2")
                .arg(literales, razon->isEmpty() ? QString() : u'\n' + *razon));
    const QString vigilancia = QStringLiteral("SET client_connection_check_interval = 1000");
    if (const auto razon = ejecutar(vigilancia))
        avisarDelComponente(
            refusado(vigilancia,
                     QStringLiteral("sin que el servidor note, durante una sentencia, que Telquin se cerró"), *razon));
}

QSqlDatabase abrirBaseDeDatos(const Direccion &d, const QString &nombreConexion, int espera)
{
    if (!d.problema.isEmpty())
        throw errorDeDireccion(d);
    espera = esperaDe(d, espera);

    QSqlDatabase db;
    switch (d.motor) {
    case Motor::Sqlite:
        db = prepararSqlite(d, nombreConexion, espera);
        break;
    case Motor::Postgres:
        db = prepararPostgres(d, nombreConexion, espera);
        break;
    case Motor::Odbc:
        db = prepararOdbc(d, nombreConexion);
        break;
    case Motor::Ninguno:
        throw errorDeDireccion(d);
    }

    if (!abrirEnIngles(db)) {
        const QString textoDriver = db.lastError().text().trimmed();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(nombreConexion);
        const QString mensaje
            = QStringLiteral("No se puede abrir la base de datos %1: %2.").arg(d.visible, causaDeApertura(textoDriver));
        const QString detalle = d.secretos.sinClaves(textoDriver);
        throw ErrorComponente(detalle.isEmpty() ? mensaje : mensaje + u'\n' + detalle);
    }
    try {
        prepararSesionOCerrar(db, d.motor, espera);
    } catch (...) {
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(nombreConexion);
        throw;
    }
    return db;
}

bool reabrirBaseDeDatos(QSqlDatabase &db, Motor motor, int espera)
{
    db.close();
    const bool abierta = abrirEnIngles(db);
    if (abierta)
        prepararSesionOCerrar(db, motor, espera);
    return abierta;
}
