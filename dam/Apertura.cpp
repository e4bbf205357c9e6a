// SPDX-License-Identifier: GPL-3.0-or-later
#include "dam/Apertura.h"

#include "dam/Causas.h"
#include "dam/Direccion.h"
#include "data/Contrato.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QUrl>

#include <clocale>

namespace {

// libpq and the C library translate their messages after LC_MESSAGES; while a
// connection opens they speak English, the language their causes are read in.
class MensajesDeLosDriversEnIngles {
public:
    MensajesDeLosDriversEnIngles()
    {
        const char *actual = std::setlocale(LC_MESSAGES, nullptr);
        previo_ = actual ? actual : "C";
        std::setlocale(LC_MESSAGES, "C");
    }
    ~MensajesDeLosDriversEnIngles() { std::setlocale(LC_MESSAGES, previo_.constData()); }
    MensajesDeLosDriversEnIngles(const MensajesDeLosDriversEnIngles &) = delete;
    MensajesDeLosDriversEnIngles &operator=(const MensajesDeLosDriversEnIngles &) = delete;

private:
    QByteArray previo_;
};

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
    const QFileInfo archivo(d.ruta);
    if (archivo.isDir())
        throw ErrorComponente(QStringLiteral("La base de datos %1 es una carpeta, no un archivo de base de datos.")
                                  .arg(archivo.absoluteFilePath()));
    if (!archivo.isFile())
        throw baseQueNoExiste(d, archivo.absoluteFilePath());

    QSqlDatabase db = nuevaConexion(QStringLiteral("QSQLITE"), nombreConexion);
    // mode=rw makes SQLite itself refuse to create the file if it vanished meanwhile;
    // the busy timeout makes a statement wait, up to the limit, while another program
    // writes the file.
    QUrl uri = QUrl::fromLocalFile(archivo.absoluteFilePath());
    uri.setQuery(QStringLiteral("mode=rw"));
    db.setDatabaseName(uri.toString(QUrl::FullyEncoded));
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

    // The server itself gives up on a lock after the wait, and notices a client that
    // went away, so a killed program leaves no statement behind that lands later.
    // Literals are always read as written: a backslash escapes nothing.
    QString sesion = QStringLiteral("-c lock_timeout=%1 -c standard_conforming_strings=on "
                                    "-c client_connection_check_interval=1000")
                         .arg(espera * 1000);
    QStringList opciones;
    QStringList dadas;
    for (const auto &[clave, valor] : d.opciones) {
        dadas << clave;
        if (clave == QLatin1String("options"))
            sesion = valor + u' ' + sesion;
        else
            opciones << clave + u'=' + entreComillas(valor);
    }
    opciones << QStringLiteral("options=") + entreComillas(sesion);
    // Keepalives let a window left open all day keep a connection that a firewall
    // would otherwise drop unseen.
    const std::pair<const char *, const char *> porDefecto[] = {
        {"connect_timeout", "10"},     {"keepalives", "1"},       {"keepalives_idle", "60"},
        {"keepalives_interval", "10"}, {"keepalives_count", "6"}, {"application_name", "telquin"},
    };
    for (const auto &[clave, valor] : porDefecto)
        if (!dadas.contains(QLatin1String(clave)))
            opciones << QLatin1String(clave) + u'=' + QLatin1String(valor);
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

// Through ODBC the session settings are statements. PostgreSQL (psqlODBC) is the
// server this speaks to; another server refuses the first, and nothing more is sent.
void prepararSesionOdbc(QSqlDatabase &db, Motor motor, int espera)
{
    if (motor != Motor::Odbc)
        return;
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SET lock_timeout = %1").arg(espera * 1000)))
        return;
    q.exec(QStringLiteral("SET standard_conforming_strings = on"));
    q.exec(QStringLiteral("SET client_connection_check_interval = 1000"));
}

} // namespace

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
    prepararSesionOdbc(db, d.motor, espera);
    return db;
}

bool reabrirBaseDeDatos(QSqlDatabase &db, Motor motor, int espera)
{
    db.close();
    const bool abierta = abrirEnIngles(db);
    if (abierta)
        prepararSesionOdbc(db, motor, espera);
    return abierta;
}
