// SPDX-License-Identifier: GPL-3.0-or-later
// Faults of the database under the bundled component: each must raise ErrorComponente
// with a Spanish message that names the cause, and leave the table as it was.
// The server rows need the throwaway server named by TELQUIN_SERVIDOR
// (scripts/servidor-prueba); this test stops and restarts it.

#include "BaseDePrueba.h"
#include "PorQt.h"
#include "UsuariosSimulados.h"
#include "dam/ComponenteDAM.h"
#include "dam/ConectorOdbc.h"
#include "dam/ConectorPostgres.h"
#include "dam/Direccion.h"
#include "dam/Parametros.h"
#include "data/Clases.h"
#include "data/Sentencias.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSqlDriver>
#include <QtTest>

#include <libpq-fe.h>

#include <chrono>
#include <clocale>
#include <future>
#include <thread>
#include <unistd.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#ifdef __linux__
#include <sys/fsuid.h>
#endif

namespace {

const QString kPosicion = QStringLiteral("8901.10.00.000L"); // unit 07 in the sample
const QString kClaveEquivocada = QStringLiteral("clave-equivocada-7f3a");

QString dirServidor() { return qEnvironmentVariable("TELQUIN_SERVIDOR"); }

bool servidor(const QString &orden)
{
    return QProcess::execute(QStringLiteral(TELQUIN_SERVIDOR_PRUEBA), {orden, dirServidor()}) == 0;
}

// The message of the ErrorComponente that f raises; empty when it raises none.
template <typename F>
QString mensajeDeError(F &&f)
{
    try {
        f();
    } catch (const ErrorComponente &e) {
        return e.mensaje().isEmpty() ? QStringLiteral("(mensaje vacío)") : e.mensaje();
    }
    return {};
}

QString claveDelServidor() { return urlsDelServidor(dirServidor()).value(QStringLiteral("PGPASSWORD")); }

// The server's URL for a backend with one part replaced: the password, the host,
// the port or the database name.
QString urlCambiada(const QString &eleccion, const QString &cambio)
{
    QString url = urlDePrueba(eleccion);
    if (cambio == QLatin1String("puerto"))
        return url.replace(QRegularExpression(QStringLiteral("(?<=[Pp]ort=)\\d+")), QStringLiteral("1"));
    if (eleccion == QLatin1String("postgresql")) {
        QUrl u(url);
        QUrlQuery consulta(u);
        if (cambio == QLatin1String("clave")) {
            u.setPassword(kClaveEquivocada);
        } else if (cambio == QLatin1String("sin clave")) {
            u.setPassword({});
        } else if (cambio == QLatin1String("usuario")) {
            u.setUserName(QStringLiteral("usuario_que_no_existe"));
        } else if (cambio == QLatin1String("host")) {
            consulta.removeAllQueryItems(QStringLiteral("host"));
            u.setQuery(consulta);
            u.setHost(QStringLiteral("servidor-inexistente.invalid"));
        } else {
            u.setPath(QStringLiteral("/no_existe"));
        }
        return u.toString();
    }
    const QString clave = cambio == QLatin1String("clave") ? QStringLiteral("PWD")
        : cambio == QLatin1String("host")                  ? QStringLiteral("Servername")
                                                           : QStringLiteral("Database");
    const QString valor = cambio == QLatin1String("clave") ? kClaveEquivocada
        : cambio == QLatin1String("host")                  ? QStringLiteral("servidor-inexistente.invalid")
                                                           : QStringLiteral("no_existe");
    return url.replace(QRegularExpression(clave + QStringLiteral("=[^;]*")), clave + u'=' + valor);
}

// Sets the language the server speaks to a client it has not yet let in (its
// lc_messages; empty for the one it started with), and waits until a new session
// sees it. False when it could not.
bool idiomaDelServidor(const QString &idioma)
{
    const QByteArray url = urlDePrueba(QStringLiteral("postgresql")).toUtf8();
    PGconn *const c = PQconnectdb(url.constData());
    const auto cerrar = qScopeGuard([c] { PQfinish(c); });
    const QByteArray orden = idioma.isEmpty() ? QByteArray("ALTER SYSTEM RESET lc_messages")
                                              : "ALTER SYSTEM SET lc_messages = '" + idioma.toUtf8() + "'";
    for (const QByteArray &sentencia : {orden, QByteArray("SELECT pg_reload_conf()")}) {
        PGresult *const r = PQexec(c, sentencia.constData());
        const bool bien = PQresultStatus(r) == PGRES_COMMAND_OK || PQresultStatus(r) == PGRES_TUPLES_OK;
        PQclear(r);
        if (!bien)
            return false;
    }
    const QByteArray esperado = idioma.isEmpty() ? QByteArray("C") : idioma.toUtf8();
    for (int i = 0; i < 100; ++i) {
        PGconn *const nueva = PQconnectdb(url.constData());
        PGresult *const r = PQexec(nueva, "SHOW lc_messages");
        const bool listo = PQresultStatus(r) == PGRES_TUPLES_OK && esperado == PQgetvalue(r, 0, 0);
        PQclear(r);
        PQfinish(nueva);
        if (listo)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

// The address with a wait of its own, in the form each backend takes.
QString conEspera(const QString &url, int segundos)
{
    if (url.startsWith(QLatin1String("odbc:")))
        return url + QStringLiteral(";espera=%1").arg(segundos);
    return url + (url.startsWith(QLatin1String("sqlite:")) || !url.contains(u'?') ? u'?' : u'&')
        + QStringLiteral("espera=%1").arg(segundos);
}

const QString kOtraPosicion = QStringLiteral("0101.21.00.100W"); // unit 09 in the sample

QString updateCrudo(const QString &posicion, const QString &unidad)
{
    return QStringLiteral(R"(UPDATE NCM SET "012" = '%1' WHERE "001" = '%2' AND "002" = '%3' AND "003" = '%4')")
        .arg(unidad, posicion.left(10), posicion.mid(11, 3), posicion.mid(14, 1));
}

// Another user, in a libpq session of its own whatever the backend under test: holds
// the position until a statement waits for it, does to that statement what `caso`
// says, and lets the position go once it no longer waits. Its own wait for a
// deadlock is the longer, so that the server stops the other statement, not its own.
bool otroUsuario(const QString &caso, std::promise<void> &listo)
{
    PGconn *pg = PQconnectdb(urlDePrueba("postgresql").toUtf8().constData());
    const auto ejecutar = [pg](const QString &sql) {
        PGresult *r = PQexec(pg, sql.toUtf8().constData());
        const QString valor = PQntuples(r) > 0 ? QString::fromUtf8(PQgetvalue(r, 0, 0)) : QString();
        PQclear(r);
        return valor;
    };
    const auto quienEspera = [&] { return ejecutar("SELECT pid FROM pg_locks WHERE NOT granted LIMIT 1"); };
    ejecutar("BEGIN");
    ejecutar("SET LOCAL deadlock_timeout = '30s'");
    ejecutar(updateCrudo(kPosicion, "44"));
    listo.set_value();
    QString pid;
    for (QDeadlineTimer limite(30000); pid.isEmpty() && !limite.hasExpired(); QThread::msleep(50))
        pid = quienEspera();
    if (caso == "interbloqueo")
        ejecutar(updateCrudo(kOtraPosicion, "66"));
    else if (caso == "cancelada")
        ejecutar("SELECT pg_cancel_backend(" + pid + ")");
    else if (caso == "terminada")
        ejecutar("SELECT pg_terminate_backend(" + pid + ", 20000)");
    for (QDeadlineTimer limite(30000); caso != "terminada" && !quienEspera().isEmpty() && !limite.hasExpired();)
        QThread::msleep(50);
    ejecutar("ROLLBACK");
    PQfinish(pg);
    return !pid.isEmpty();
}

// No four characters of the password in a row appear in the text.
bool muestraParteDe(const QString &texto, const QString &clave)
{
    for (qsizetype i = 0; i + 4 <= clave.size(); ++i)
        if (texto.contains(clave.mid(i, 4)))
            return true;
    return false;
}

} // namespace

class TstFallos : public QObject {
    Q_OBJECT

    std::unique_ptr<BaseDePrueba> base;
    std::unique_ptr<Componente> oDAM;

    // A fresh sample table on the backend and a component with its parameters
    // loaded; false when the backend is a server and there is none.
    bool abrir(const QString &eleccion, int espera = 0)
    {
        if (eleccion != QLatin1String("sqlite") && urlsDelServidor(dirServidor()).isEmpty())
            return false;
        base = std::make_unique<BaseDePrueba>(eleccion);
        qputenv("DAM_DATABASE_URL", (espera > 0 ? conEspera(base->url(), espera) : base->url()).toUtf8());
        oDAM = CrearObjeto(kClaseDAM);
        oDAM->loadparameters();
        return true;
    }

    QString consultar(const QString &sNcm)
    {
        return GetUnidEst(*oDAM, sNcm, [](const QString &) {});
    }

    static void backends(const QStringList &cuales)
    {
        QTest::addColumn<QString>("eleccion");
        for (const QString &b : cuales)
            QTest::newRow(qPrintable(b)) << b;
    }

    // What the component's own session answers to a SHOW.
    QString ajusteDeLaSesion(const QString &nombre)
    {
        {
            const auto cn = oDAM->getDataConnectionByEntity(kEntidadNcm);
            cn->setSQL("SHOW " + nombre);
        }
        auto rs = std::make_unique<Recordset>();
        const auto cn = oDAM->getDataConnectionByEntity(kEntidadNcm);
        if (!cn->crearrs(rs).toBool())
            return "<sin fila>";
        return rs->Fields(nombre).toString();
    }

    // A connection of another user, outside any transaction.
    QSqlDatabase &observador()
    {
        if (!observador_.isValid())
            observador_ = abrirBaseDeDatos(leerDireccion(base->url()), QStringLiteral("observador"));
        return observador_;
    }
    QSqlDatabase observador_;

#define ABRIR(...)                                                                                                     \
    do {                                                                                                               \
        if (!abrir(__VA_ARGS__))                                                                                       \
            QSKIP("no hay servidor de prueba: TELQUIN_SERVIDOR no tiene urls.json");                                   \
    } while (false)

private slots:
    void cleanup()
    {
        if (observador_.isValid()) {
            observador_.close();
            observador_ = QSqlDatabase();
            QSqlDatabase::removeDatabase(QStringLiteral("observador"));
        }
        oDAM.reset();
        base.reset();
        qunsetenv("DAM_DATABASE_URL");
    }

    void servidorDetenidoEnPlenaSesion_data() { backends({"postgresql", "odbc"}); }

    void servidorDetenidoEnPlenaSesion()
    {
        QFETCH(QString, eleccion);
        ABRIR(eleccion);
        QCOMPARE(consultar(kPosicion), QString("07"));

        QVERIFY(servidor("halt"));
        auto reanudar = qScopeGuard([] { servidor("resume"); });

        const QString perdida = "se perdió la conexión con el servidor";
        QString m = mensajeDeError([&] { (void)EjecutarUpdate(*oDAM, kPosicion, "42"); });
        QVERIFY2(m.contains(perdida), qPrintable(m));
        QVERIFY2(m.contains(textoUpdate(kPosicion, "42")), qPrintable(m));
        m = mensajeDeError([&] { (void)consultar(kPosicion); });
        QVERIFY2(m.contains(perdida), qPrintable(m));

        // A user who starts the program now is told the server does not answer.
        const auto otro = CrearObjeto(kClaseDAM);
        m = mensajeDeError([&] { otro->loadparameters(); });
        QVERIFY2(m.contains("el servidor no responde"), qPrintable(m));

        reanudar.dismiss();
        QVERIFY(servidor("resume"));
        base->reabrir();
        QCOMPARE(base->unidad("8901.10.00", "000", "L"), QString("07"));
    }

    void servidorReiniciadoEnPlenaTransaccion_data() { backends({"postgresql", "odbc"}); }

    void servidorReiniciadoEnPlenaTransaccion()
    {
        QFETCH(QString, eleccion);
        ABRIR(eleccion);
        auto *t = dynamic_cast<Transacciones *>(oDAM.get());
        QVERIFY(t);
        t->comenzarTransaccion();
        QVERIFY(EjecutarUpdate(*oDAM, kPosicion, "42"));
        QVERIFY(servidor("halt"));
        QVERIFY(servidor("resume"));
        // On a new connection this update would be stored alone, without the first.
        const QString m = mensajeDeError([&] { (void)EjecutarUpdate(*oDAM, "0101.21.00.100W", "43"); });
        QVERIFY2(m.startsWith("Error de la base de datos al ejecutar la sentencia"), qPrintable(m));
        t->revertirTransaccion();
        base->reabrir();
        QCOMPARE(base->unidad("8901.10.00", "000", "L"), QString("07"));
        QCOMPARE(base->unidad("0101.21.00", "100", "W"), QString("09"));
        // Outside a transaction a lost connection is opened again, as before.
        QVERIFY(EjecutarUpdate(*oDAM, kPosicion, "05"));
        QCOMPARE(base->unidad("8901.10.00", "000", "L"), QString("05"));
    }

    void aperturaRechazada_data()
    {
        QTest::addColumn<QString>("eleccion");
        QTest::addColumn<QString>("cambio");
        QTest::addColumn<QString>("causa");
        // The server's words for the refusal when it speaks English; through libpq the
        // cause must come whatever language it speaks.
        QTest::addColumn<QString>("enIngles");
        const QString clave = "el servidor rechazó el usuario o la clave";
        const QString host = "no se encuentra el servidor";
        const QString nombre = "la base de datos no existe en el servidor";
        for (const QString b : {"postgresql", "odbc"}) {
            QTest::addRow("%s, clave equivocada", qPrintable(b)) << b << "clave" << clave << "";
            QTest::addRow("%s, servidor desconocido", qPrintable(b)) << b << "host" << host << "";
            QTest::addRow("%s, base que no existe", qPrintable(b)) << b << "base" << nombre << "";
            QTest::addRow("%s, puerto cerrado", qPrintable(b)) << b << "puerto"
                                                               << "el servidor no responde"
                                                               << "";
        }
        QTest::addRow("postgresql, sin clave") << "postgresql"
                                               << "sin clave" << clave << "";
        QTest::addRow("postgresql, clave equivocada, servidor en alemán")
            << "postgresql"
            << "clave" << clave << "password authentication failed";
        QTest::addRow("postgresql, usuario que no existe, servidor en alemán")
            << "postgresql"
            << "usuario" << clave << "does not exist";
        QTest::addRow("postgresql, base que no existe, servidor en alemán") << "postgresql"
                                                                            << "base" << nombre << "does not exist";
    }

    void aperturaRechazada()
    {
        QFETCH(QString, eleccion);
        QFETCH(QString, cambio);
        QFETCH(QString, causa);
        QFETCH(QString, enIngles);
        if (urlsDelServidor(dirServidor()).isEmpty())
            QSKIP("no hay servidor de prueba: TELQUIN_SERVIDOR no tiene urls.json");
        const QString url = urlCambiada(eleccion, cambio);
        // Nothing else may hold the password either.
        const QByteArray archivoDeClaves = qgetenv("PGPASSFILE");
        const QByteArray claveDelEntorno = qgetenv("PGPASSWORD");
        const auto restaurar = qScopeGuard([&] {
            qputenv("PGPASSFILE", archivoDeClaves);
            qputenv("PGPASSWORD", claveDelEntorno);
        });
        if (cambio == QLatin1String("sin clave")) {
            qputenv("PGPASSFILE", "/nonexistent/pgpass");
            qunsetenv("PGPASSWORD");
        }
        if (!enIngles.isEmpty())
            QVERIFY(idiomaDelServidor("de_DE.UTF-8"));
        const auto enIdiomaDelServidor = qScopeGuard([&] {
            if (!enIngles.isEmpty())
                QVERIFY(idiomaDelServidor({}));
        });
        qputenv("DAM_DATABASE_URL", url.toUtf8());
        const auto componente = CrearObjeto(kClaseDAM);
        const QString m = mensajeDeError([&] { componente->loadparameters(); });
        QVERIFY2(m.contains(causa), qPrintable(m));
        if (!enIngles.isEmpty())
            QVERIFY2(!m.contains(enIngles), qPrintable(m));
        QVERIFY2(m.contains(leerDireccion(url).visible), qPrintable(m));
        QVERIFY2(!m.contains(claveDelServidor()) && !m.contains(kClaveEquivocada), qPrintable(m));
        QVERIFY_THROWS_EXCEPTION(ErrorComponente, (void)componente->getDataConnectionByEntity(kEntidadNcm));
    }

    // A server that takes the connection and never answers is given up after
    // connect_timeout; an address of several hosts goes on to the next one that
    // refuses, as libpq's own opening does.
    void servidorQueNoResponde()
    {
        const auto urls = urlsDelServidor(dirServidor());
        if (urls.isEmpty())
            QSKIP("no hay servidor de prueba: TELQUIN_SERVIDOR no tiene urls.json");
        // Two local ports: one takes connections and never reads, one takes none.
        const auto puerto = [](int s, bool escucha) {
            sockaddr_in direccion{};
            direccion.sin_family = AF_INET;
            direccion.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            socklen_t largo = sizeof direccion;
            if (::bind(s, reinterpret_cast<sockaddr *>(&direccion), largo) != 0 || (escucha && ::listen(s, 4) != 0)
                || ::getsockname(s, reinterpret_cast<sockaddr *>(&direccion), &largo) != 0)
                return QString();
            return QString::number(ntohs(direccion.sin_port));
        };
        const int mudo = ::socket(AF_INET, SOCK_STREAM, 0);
        const int cerrado = ::socket(AF_INET, SOCK_STREAM, 0);
        const auto cerrar = qScopeGuard([&] {
            ::close(mudo);
            ::close(cerrado);
        });
        const QString puertoMudo = puerto(mudo, true);
        const QString puertoCerrado = puerto(cerrado, false);
        QVERIFY(!puertoMudo.isEmpty() && !puertoCerrado.isEmpty());

        QElapsedTimer reloj;
        reloj.start();
        const QString m = mensajeDeError([&] {
            (void)abrirConector(
                leerDireccion(
                    QStringLiteral("postgresql://telquin:x@127.0.0.1:%1/telquin?connect_timeout=2").arg(puertoMudo)),
                5);
        });
        QVERIFY2(m.contains("el servidor no responde"), qPrintable(m));
        QVERIFY2(reloj.elapsed() >= 1900 && reloj.elapsed() < 6000, qPrintable(QString::number(reloj.elapsed())));

        Direccion d = leerDireccion(urlDePrueba(QStringLiteral("postgresql")));
        d.host = QStringLiteral("127.0.0.1,") + urls.value(QStringLiteral("PGHOST"));
        d.puerto = -1;
        d.opciones.append({QStringLiteral("port"), puertoCerrado + u',' + urls.value(QStringLiteral("PGPORT"))});
        const auto conector = abrirConector(d, 5);
        const Respuesta r = conector->ejecutar(QStringLiteral("SELECT 1"), 1);
        QVERIFY(!r.fallo && r.filas.size() == 1);
    }

    // Only a handle QODBC gives is taken for an ODBC handle: another driver's, or any
    // other value, is never handed to the driver manager.
    void manejadorDeOdbc_data()
    {
        QTest::addColumn<QString>("driver");
        QTest::addColumn<bool>("odbc");
        QTest::newRow("QODBC") << "QODBC" << true;
        QTest::newRow("QSQLITE, un sqlite3*") << "QSQLITE" << false;
        QTest::newRow("QPSQL, un PGconn*") << "QPSQL" << false;
        QTest::newRow("un número") << "" << false;
    }

    void manejadorDeOdbc()
    {
        QFETCH(QString, driver);
        QFETCH(bool, odbc);
        if (driver != QLatin1String("QSQLITE") && !driver.isEmpty() && urlsDelServidor(dirServidor()).isEmpty())
            QSKIP("no hay servidor de prueba: TELQUIN_SERVIDOR no tiene urls.json");
        QVariant handle = QVariant::fromValue<qintptr>(0x1234);
        {
            QSqlDatabase db;
            if (driver == QLatin1String("QSQLITE")) {
                db = QSqlDatabase::addDatabase(driver, QStringLiteral("manejador"));
                db.setDatabaseName(QStringLiteral(":memory:"));
                QVERIFY(db.open());
            } else if (!driver.isEmpty()) {
                const QString eleccion
                    = driver == QLatin1String("QODBC") ? QStringLiteral("odbc") : QStringLiteral("postgresql");
                db = abrirBaseDeDatos(leerDireccion(urlDePrueba(eleccion)), QStringLiteral("manejador"));
            }
            if (db.isOpen()) {
                handle = db.driver()->handle();
                QVERIFY(handle.isValid() && *static_cast<void *const *>(handle.constData()));
            }
            QCOMPARE(manejadorOdbc(handle) != nullptr, odbc);
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("manejador"));
    }

    void tablaQueFalta_data() { backends({"sqlite", "postgresql", "odbc"}); }

    void tablaQueFalta()
    {
        QFETCH(QString, eleccion);
        ABRIR(eleccion);
        base->ejecutar("DROP TABLE NCM");
        const QString causa = "la tabla NCM no existe en la base de datos";
        QString m = mensajeDeError([&] { (void)consultar(kPosicion); });
        QVERIFY2(m.contains(causa) && m.contains(textoConsulta(kPosicion)), qPrintable(m));
        m = mensajeDeError([&] { (void)EjecutarUpdate(*oDAM, kPosicion, "42"); });
        QVERIFY2(m.contains(causa) && m.contains(textoUpdate(kPosicion, "42")), qPrintable(m));
    }

    void baseDeSoloLectura_data() { backends({"sqlite", "postgresql", "odbc"}); }

    void baseDeSoloLectura()
    {
        QFETCH(QString, eleccion);
        if (eleccion != QLatin1String("sqlite") && urlsDelServidor(dirServidor()).isEmpty())
            QSKIP("no hay servidor de prueba: TELQUIN_SERVIDOR no tiene urls.json");
        base = std::make_unique<BaseDePrueba>(eleccion);
        const QStringList antes = base->filas();
        qputenv("DAM_DATABASE_URL", base->url().toUtf8());

        std::function<void()> deshacer = [] {};
        if (base->esSqlite()) {
            QVERIFY(QFile::setPermissions(base->ruta(), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
            if (geteuid() == 0) {
#ifdef __linux__
                // Root writes any file whatever its mode; a filesystem uid of nobody, for
                // this thread only, makes the mode count, as it does for a user.
                QVERIFY(QFile::setPermissions(QFileInfo(base->ruta()).path(),
                                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                                                  | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther));
                // Nor may root's own folders be searched then: the user's configuration
                // is looked for where that uid may look.
                const QByteArray configuracion = qgetenv("XDG_CONFIG_HOME");
                qputenv("XDG_CONFIG_HOME", QFileInfo(base->ruta()).path().toUtf8());
                setfsuid(65534);
                deshacer = [configuracion] {
                    setfsuid(0);
                    qputenv("XDG_CONFIG_HOME", configuracion);
                };
#else
                QSKIP("como root, un archivo sin permiso de escritura se escribe igual");
#endif
            }
        } else {
            base->ejecutar("DO $$ BEGIN EXECUTE format('ALTER DATABASE %I SET default_transaction_read_only = on', "
                           "current_database()); END $$");
            deshacer = [this] {
                base->ejecutar("DO $$ BEGIN EXECUTE format('ALTER DATABASE %I RESET default_transaction_read_only', "
                               "current_database()); END $$");
            };
        }
        const auto restaurar = qScopeGuard([&] { deshacer(); });

        oDAM = CrearObjeto(kClaseDAM);
        oDAM->loadparameters();
        QCOMPARE(consultar(kPosicion), QString("07"));
        const QString m = mensajeDeError([&] { (void)EjecutarUpdate(*oDAM, kPosicion, "42"); });
        QVERIFY2(m.contains("la base de datos es de solo lectura"), qPrintable(m));
        QCOMPARE(base->filas(), antes);
    }

    // --- Another user holds the row or the file ---

    void filaOcupadaPorOtroUsuario_data() { backends({"sqlite", "postgresql", "odbc"}); }

    void filaOcupadaPorOtroUsuario()
    {
        QFETCH(QString, eleccion);
        ABRIR(eleccion, 1);
        base->ejecutar(base->esSqlite() ? "BEGIN EXCLUSIVE" : "BEGIN");
        base->ejecutar(R"(UPDATE NCM SET "012" = '44' WHERE "001" = '8901.10.00' AND "002" = '000' AND "003" = 'L')");

        // The answer comes while the other user still holds the lock.
        const QString m = mensajeDeError([&] {
            try {
                (void)EjecutarUpdate(*oDAM, kPosicion, "05");
            } catch (const ErrorOcupado &e) {
                throw ErrorComponente("ocupado: " + e.mensaje());
            }
        });
        QVERIFY2(m.startsWith("ocupado: ") && m.contains("otro usuario tiene ocupada la tabla NCM"), qPrintable(m));
        base->ejecutar("COMMIT");
        QCOMPARE(base->unidad("8901.10.00", "000", "L"), QString("44"));

        QVERIFY(EjecutarUpdate(*oDAM, kPosicion, "05"));
        QCOMPARE(base->unidad("8901.10.00", "000", "L"), QString("05"));
    }

    // What the server does to a waiting statement, told by its SQLSTATE whatever its
    // language: the server speaks German here.
    void condicionDelServidor_data()
    {
        QTest::addColumn<QString>("eleccion");
        QTest::addColumn<QString>("caso");
        QTest::addColumn<bool>("enTransaccion");
        QTest::addColumn<int>("condicion"); // -1: not a passing condition
        QTest::addColumn<QString>("causa"); // empty: no error, the statement was stored
        for (const QString b : {"postgresql", "odbc"}) {
            const auto fila
                = [&b](const char *nombre, const char *caso, bool enTransaccion, int condicion, const char *causa) {
                      QTest::addRow("%s, %s", qPrintable(b), nombre)
                          << b << QString(caso) << enTransaccion << condicion << QString(causa);
                  };
            fila("espera agotada", "espera", false, int(CondicionPasajera::EsperaAgotada),
                 "otro usuario tiene ocupada la tabla NCM desde hace más de 1 s");
            fila("interbloqueo", "interbloqueo", true, int(CondicionPasajera::Interbloqueo),
                 "otro usuario esperaba a la vez por las mismas filas de la tabla NCM");
            fila("cancelada", "cancelada", false, int(CondicionPasajera::Cancelada),
                 "se canceló la sentencia en el servidor");
            fila("sesión terminada", "terminada", false, -1, "");
            fila("sesión terminada en una transacción", "terminada", true, -1, "se perdió la conexión con el servidor");
        }
    }

    void condicionDelServidor()
    {
        QFETCH(QString, eleccion);
        QFETCH(QString, caso);
        QFETCH(bool, enTransaccion);
        QFETCH(int, condicion);
        QFETCH(QString, causa);
        ABRIR(eleccion, caso == "espera" ? 1 : 30);
        const auto idioma = [this](const char *cambio) {
            base->ejecutar(
                QStringLiteral("DO $$ BEGIN EXECUTE format('ALTER DATABASE %I %1', current_database()); END $$")
                    .arg(cambio));
        };
        idioma("SET lc_messages = ''de_DE.UTF-8''");
        const auto restaurar = qScopeGuard([&] { idioma("RESET lc_messages"); });
        oDAM = CrearObjeto(kClaseDAM);
        oDAM->loadparameters();
        auto *t = dynamic_cast<Transacciones *>(oDAM.get());
        if (enTransaccion) {
            t->comenzarTransaccion();
            QVERIFY(EjecutarUpdate(*oDAM, kOtraPosicion, "55"));
        }
        std::promise<void> listo;
        auto otro = std::async(std::launch::async, otroUsuario, caso, std::ref(listo));
        listo.get_future().wait();

        int vista = -1;
        const QString m = mensajeDeError([&] {
            try {
                (void)EjecutarUpdate(*oDAM, kPosicion, "05");
            } catch (const ErrorOcupado &e) {
                vista = int(e.condicion());
                throw;
            }
        });
        t->revertirTransaccion();
        QVERIFY(otro.get());
        QCOMPARE(vista, condicion);
        QVERIFY2(causa.isEmpty() ? m.isEmpty() : m.contains(causa), qPrintable(m));
        // The server's own text, which follows, really is German.
        QVERIFY2(condicion < 0 || m.contains("FEHLER:"), qPrintable(m));
        QCOMPARE(base->unidadDe(kPosicion), QString(causa.isEmpty() ? "05" : "07"));
        QCOMPARE(base->unidadDe(kOtraPosicion), QString("09"));
    }

    void procesoMatadoMientrasEspera_data() { backends({"postgresql", "odbc"}); }

    void procesoMatadoMientrasEspera()
    {
        QFETCH(QString, eleccion);
        ABRIR(eleccion);
        base->ejecutar("BEGIN");
        base->ejecutar(R"(UPDATE NCM SET "012" = '44' WHERE "001" = '8901.10.00' AND "002" = '000' AND "003" = 'L')");

        // A wait longer than the test: only the server's check for a client that went
        // away can end the waiting statement.
        const auto carga = lanzarUsuario(conEspera(base->url(), 60), kPosicion, 1, {"05"});
        QVERIFY(carga->waitForStarted());
        const auto esperando = [&] {
            QSqlQuery q(observador());
            q.exec("SELECT pid FROM pg_stat_activity WHERE wait_event_type = 'Lock'");
            return q.next() ? q.value(0).toInt() : 0;
        };
        QTRY_VERIFY_WITH_TIMEOUT(esperando() != 0, 30000);
        const int pid = esperando();
        carga->kill();
        QVERIFY(carga->waitForFinished(10000));
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                QSqlQuery q(observador());
                q.exec(QStringLiteral("SELECT 1 FROM pg_stat_activity WHERE pid = %1").arg(pid));
                return !q.next();
            }(),
            30000);

        base->ejecutar("COMMIT");
        QCOMPARE(base->unidad("8901.10.00", "000", "L"), QString("44"));
    }

    // --- Connections ---

    void servidorReiniciadoEntreDosConsultas_data() { backends({"postgresql", "odbc"}); }

    void servidorReiniciadoEntreDosConsultas()
    {
        QFETCH(QString, eleccion);
        ABRIR(eleccion, 7);
        QCOMPARE(consultar(kPosicion), QString("07"));
        QVERIFY(servidor("halt"));
        QVERIFY(servidor("resume"));
        QCOMPARE(consultar(kPosicion), QString("07"));
        QVERIFY(EjecutarUpdate(*oDAM, kPosicion, "05"));
        // The new session has the settings of the first.
        QCOMPARE(ajusteDeLaSesion("lock_timeout"), QString("7s"));
        QCOMPARE(ajusteDeLaSesion("standard_conforming_strings"), QString("on"));
        QCOMPARE(ajusteDeLaSesion("client_connection_check_interval"), QString("1s"));
        base->reabrir();
        QCOMPARE(base->unidad("8901.10.00", "000", "L"), QString("05"));
    }

    // A setting is given to libpq as it is written: a semicolon, a quote or a
    // backslash in it reaches the server unchanged.
    void ajusteConSignos_data()
    {
        QTest::addColumn<QString>("valor");
        QTest::addColumn<QString>("enLaDireccion");
        QTest::newRow("punto y coma") << "telquin;prueba"
                                      << "telquin%3Bprueba";
        QTest::newRow("comilla y blanco") << "d'ana lote"
                                          << "d'ana%20lote";
        QTest::newRow("barra inversa") << "c:\\x"
                                       << "c:%5Cx";
    }

    void ajusteConSignos()
    {
        QFETCH(QString, valor);
        QFETCH(QString, enLaDireccion);
        if (urlsDelServidor(dirServidor()).isEmpty())
            QSKIP("no hay servidor de prueba: TELQUIN_SERVIDOR no tiene urls.json");
        base = std::make_unique<BaseDePrueba>(QStringLiteral("postgresql"));
        const QString url = base->url();
        qputenv("DAM_DATABASE_URL",
                (url + (url.contains(u'?') ? u'&' : u'?') + "application_name=" + enLaDireccion).toUtf8());
        oDAM = CrearObjeto(kClaseDAM);
        oDAM->loadparameters();
        QCOMPARE(ajusteDeLaSesion("application_name"), valor);
    }

    // The libpq connector gives each value, and each failure's SQLSTATE, as Qt's
    // driver did.
    void comoElDriverDeQt_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("esperado");
        QTest::newRow("tipos")
            << "SELECT 42 AS a, -7::bigint AS b, 1.5::numeric AS c, 2.5::float8 AS d, true AS e, "
               "'ħ😀'::text AS f, NULL::text AS g, 3::smallint AS h"
            << "a|b|c|d|e|f|g|h\nint:42|qlonglong:-7|double:1.5|double:2.5|bool:true|QString:ħ😀|NULL|"
               "int:3";
        QTest::newRow("bigint sin signo") << "SELECT 7::bigint AS b"
                                          << "b\nqulonglong:7";
        QTest::newRow("varias filas, solo la primera") << "SELECT x FROM generate_series(5, 9) AS x"
                                                       << "x\nint:5";
        QTest::newRow("ninguna fila") << "SELECT 1 WHERE false"
                                      << "";
        QTest::newRow("tabla que falta") << "SELECT * FROM falta"
                                         << "fallo 42P01";
        QTest::newRow("literal con barra inversa") << "SELECT 'a\\b' AS t"
                                                   << "t\nQString:a\\b";
    }

    void comoElDriverDeQt()
    {
        QFETCH(QString, sql);
        QFETCH(QString, esperado);
        if (urlsDelServidor(dirServidor()).isEmpty())
            QSKIP("no hay servidor de prueba: TELQUIN_SERVIDOR no tiene urls.json");
        const auto describir = [](const Respuesta &r) {
            if (r.fallo)
                return "fallo " + r.fallo->estadoSql;
            QStringList lineas;
            if (!r.columnas.empty())
                lineas << QStringList(r.columnas.begin(), r.columnas.end()).join(u'|');
            for (const auto &fila : r.filas) {
                QStringList valores;
                for (const QVariant &v : fila)
                    valores << (v.isNull() ? QStringLiteral("NULL") : QString(v.typeName()) + u':' + v.toString());
                lineas << valores.join(u'|');
            }
            return lineas.join(u'\n');
        };
        const Direccion d = leerDireccion(urlDePrueba("postgresql"));
        QCOMPARE(describir(abrirPostgres(d, 5)->ejecutar(sql, 1)), esperado);
        {
            const QSqlDatabase db = abrirBaseDeDatos(d, QStringLiteral("qpsql"));
            QCOMPARE(describir(ejecutarPorQt(db, sql, 1)), esperado);
        }
        QSqlDatabase::removeDatabase(QStringLiteral("qpsql"));
    }

    // Ctrl+C reaches the statement of the connection open now, not of the one the
    // server dropped.
    void cancelarTrasReconectar()
    {
        ABRIR("postgresql", 7);
        QCOMPARE(consultar(kPosicion), QString("07"));
        QVERIFY(servidor("halt"));
        QVERIFY(servidor("resume"));
        QCOMPARE(consultar(kPosicion), QString("07"));

        auto *bloques = dynamic_cast<FilasEnBloque *>(oDAM.get());
        QVERIFY(bloques);
        const FilasEnBloque::Cancelacion cancelacion = bloques->cancelacion();
        QVERIFY(cancelacion.cancelar);
        const auto cn = oDAM->getDataConnectionByEntity(kEntidadNcm);
        cn->setSQL("SELECT pg_sleep(20)");
        auto detener = std::async(std::launch::async, [&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            cancelacion.cancelar(cancelacion.datos);
        });
        QElapsedTimer reloj;
        reloj.start();
        auto rs = std::make_unique<Recordset>();
        const QString m = mensajeDeError([&] { (void)cn->crearrs(rs); });
        detener.get();
        QVERIFY2(m.contains("se canceló la sentencia"), qPrintable(m));
        QVERIFY2(reloj.elapsed() < 10000, qPrintable(QString::number(reloj.elapsed())));
    }

    void conexionConKeepalives()
    {
        ABRIR("postgresql");
        const QSqlDatabase db = abrirBaseDeDatos(leerDireccion(base->url()), QStringLiteral("con-keepalives"));
        const auto quitar = qScopeGuard([] { QSqlDatabase::removeDatabase(QStringLiteral("con-keepalives")); });
        auto *pg = *static_cast<PGconn *const *>(db.driver()->handle().data());
        QVERIFY(pg);
        QHash<QString, QString> ajustes;
        PQconninfoOption *opciones = PQconninfo(pg);
        for (PQconninfoOption *o = opciones; o && o->keyword; ++o)
            ajustes.insert(o->keyword, o->val ? QString::fromUtf8(o->val) : QString());
        PQconninfoFree(opciones);
        QCOMPARE(ajustes.value("keepalives"), QString("1"));
        QVERIFY(ajustes.value("keepalives_idle").toInt() > 0);
        QVERIFY(ajustes.value("keepalives_interval").toInt() > 0);
        QVERIFY(ajustes.value("keepalives_count").toInt() > 0);
    }

    // --- Text that would leave its literal under a server setting ---

    void textoHostilSinComillasEstandar_data() { backends({"postgresql", "odbc"}); }

    void textoHostilSinComillasEstandar()
    {
        QFETCH(QString, eleccion);
        if (urlsDelServidor(dirServidor()).isEmpty())
            QSKIP("no hay servidor de prueba: TELQUIN_SERVIDOR no tiene urls.json");
        base = std::make_unique<BaseDePrueba>(eleccion);
        const auto deBase = [this](const char *ajuste) {
            base->ejecutar(
                QStringLiteral("DO $$ BEGIN EXECUTE format('ALTER DATABASE %I %1', current_database()); END $$")
                    .arg(ajuste));
        };
        deBase("SET standard_conforming_strings = off");
        const auto restaurar = qScopeGuard([&] { deBase("RESET standard_conforming_strings"); });
        base->reabrir();
        {
            QSqlQuery q(base->db());
            QVERIFY(q.exec("SELECT unnest(setconfig) FROM pg_db_role_setting JOIN pg_database d ON d.oid = setdatabase "
                           "WHERE datname = current_database()"));
            QVERIFY(q.next());
            QCOMPARE(q.value(0).toString(), QString("standard_conforming_strings=off"));
        }
        qputenv("DAM_DATABASE_URL", base->url().toUtf8());
        oDAM = CrearObjeto(kClaseDAM);
        oDAM->loadparameters();

        const QStringList posiciones = {"8901.10.\\'.--XL",
                                        "8901.10.00.000\\",
                                        "8901.10.00.00\\L",
                                        "8901.10.00.0%_L",
                                        "'; DELETE FROM NCM; --.000L",
                                        "8901.10.00.0'L",
                                        "%%%%.%%.%%.%%%_"};
        const QStringList unidades = {"9\\", "\\'", "%", "_", "'--", "9'; DELETE FROM NCM; --", "\\\\"};
        const QStringList antes = base->filas();
        for (const QString &p : posiciones) {
            for (const QString &u : unidades) {
                const QString m = mensajeDeError([&] {
                    (void)consultar(p);
                    (void)EjecutarUpdate(*oDAM, p, u);
                });
                QVERIFY2(m.isEmpty(), qPrintable(p + " / " + u + ": " + m));
            }
        }
        QCOMPARE(base->filas(), antes);

        // On a row that exists, a unit with a backslash is refused; one without is
        // stored as written, in that row only.
        QVERIFY(!EjecutarUpdate(*oDAM, kPosicion, "\\'"));
        QCOMPARE(base->filas(), antes);
        QVERIFY(EjecutarUpdate(*oDAM, kPosicion, "'--%_"));
        QCOMPARE(base->unidad("8901.10.00", "000", "L"), QString("'--%_"));
    }

    // --- Passwords ---

    void clavesQueNoSeMuestran_data()
    {
        QTest::addColumn<QString>("eleccion");
        QTest::addColumn<QString>("forma"); // {C}: the password as written
        QTest::addColumn<QString>("clave");
        const QString pg = "postgresql://telquin:{C}@/telquin?host={H}&port={P}";
        QTest::newRow("arroba y almohadilla") << "postgresql" << pg << "pa@ss#Wd99";
        QTest::newRow("barra, pregunta y dos puntos") << "postgresql" << pg << "x/y?z:w9@q";
        QTest::newRow("porcentaje") << "postgresql" << pg << "50%off%2Zq";
        QTest::newRow("codificada") << "postgresql" << pg.arg("") << "";
        QTest::newRow("en la consulta") << "postgresql"
                                        << "postgresql:///telquin?host={H}&port={P}&user=telquin&password={C}"
                                        << "Qu#ery;Pw@1";
        QTest::newRow("odbc con llaves") << "odbc"
                                         << "{ODBC};PWD={{C}}"
                                         << "Sec}}ret;Tail99";
        QTest::newRow("odbc sin llaves") << "odbc"
                                         << "{ODBC};PWD={C}"
                                         << "Sec#ret:77/@";
    }

    void clavesQueNoSeMuestran()
    {
        QFETCH(QString, eleccion);
        QFETCH(QString, forma);
        QFETCH(QString, clave);
        const auto urls = urlsDelServidor(dirServidor());
        if (urls.isEmpty())
            QSKIP("no hay servidor de prueba: TELQUIN_SERVIDOR no tiene urls.json");
        if (clave.isEmpty())
            clave = "pa%40ss%23Wd99";
        QString odbc = urls.value("TELQUIN_ODBC_URL");
        odbc.remove(QRegularExpression(";?PWD=[^;]*"));
        const QString url = QString(forma)
                                .replace("{ODBC}", odbc)
                                .replace("{H}", urls.value("PGHOST"))
                                .replace("{P}", urls.value("PGPORT"))
                                .replace("{C}", clave);
        QVERIFY(eleccion != "odbc" || url.startsWith("odbc:"));
        const QString visible = leerDireccion(url).visible;
        QVERIFY2(!muestraParteDe(visible, clave), qPrintable(visible));

        // The password is not the server's: the server itself refuses it, which also
        // shows that the address was read up to the right server.
        qputenv("DAM_DATABASE_URL", url.toUtf8());
        const auto componente = CrearObjeto(kClaseDAM);
        const QString m = mensajeDeError([&] { componente->loadparameters(); });
        QVERIFY2(m.contains("el servidor rechazó el usuario o la clave"), qPrintable(m));
        QVERIFY2(!muestraParteDe(m, clave) && !muestraParteDe(m, QUrl::fromPercentEncoding(clave.toUtf8())),
                 qPrintable(m));
    }

    void claveConCaracteresCrudosAbre_data() { backends({"postgresql", "odbc"}); }

    void claveConCaracteresCrudosAbre()
    {
        QFETCH(QString, eleccion);
        ABRIR(eleccion);
        const QString clave = "p@ss:w/o#r?d%;9}";
        base->ejecutar("DROP ROLE IF EXISTS ana");
        base->ejecutar("CREATE ROLE ana LOGIN PASSWORD 'p@ss:w/o#r?d%;9}'");
        const auto quitar = qScopeGuard([this] {
            base->ejecutar("DROP OWNED BY ana");
            base->ejecutar("DROP ROLE ana");
        });
        base->ejecutar("GRANT SELECT, UPDATE ON NCM TO ana");
        QString url = base->url();
        if (eleccion == "postgresql")
            url.replace(QRegularExpression("^postgresql://[^@]*@"), "postgresql://ana:" + clave + "@");
        else
            url.replace(QRegularExpression("UID=[^;]*;PWD=[^;]*"), "UID=ana;PWD={p@ss:w/o#r?d%;9}}}");
        qputenv("DAM_DATABASE_URL", url.toUtf8());
        oDAM = CrearObjeto(kClaseDAM);
        oDAM->loadparameters();
        QCOMPARE(consultar(kPosicion), QString("07"));
        QVERIFY(!muestraParteDe(static_cast<ComponenteDAM &>(*oDAM).direccion(), clave));
    }

    // --- Causes named in the user's words ---

    void causasDeSqlite_data()
    {
        QTest::addColumn<QString>("caso");
        QTest::addColumn<QString>("causa");
        QTest::newRow("disco lleno") << "lleno"
                                     << "el disco de la base de datos está lleno";
        QTest::newRow("archivo borrado") << "borrado"
                                         << "fue borrado o reemplazado";
        QTest::newRow("archivo reemplazado") << "reemplazado"
                                             << "fue borrado o reemplazado";
    }

    void causasDeSqlite()
    {
        QFETCH(QString, caso);
        QFETCH(QString, causa);
        ABRIR("sqlite");
        if (caso == "lleno") {
            // The file may not grow by a page more, as on a full disk.
            const auto cn = oDAM->getDataConnectionByEntity(kEntidadNcm);
            cn->setSQL("PRAGMA max_page_count = 1");
            (void)cn->Ejecutar();
        } else if (caso == "borrado") {
            QVERIFY(QFile::remove(base->ruta()));
        } else {
            QVERIFY(QFile::copy(base->ruta(), base->ruta() + ".copia"));
            QVERIFY(QFile::remove(base->ruta()));
            QVERIFY(QFile::rename(base->ruta() + ".copia", base->ruta()));
        }
        const QString m = mensajeDeError([&] { (void)EjecutarUpdate(*oDAM, kPosicion, QString(20000, u'9')); });
        QVERIFY2(m.contains(causa), qPrintable(m));
    }

    void carpetaEnLugarDeArchivo()
    {
        QTemporaryDir dir;
        qputenv("DAM_DATABASE_URL", ("sqlite:" + dir.path()).toUtf8());
        const auto componente = CrearObjeto(kClaseDAM);
        const QString m = mensajeDeError([&] { componente->loadparameters(); });
        QVERIFY2(m.contains("es una carpeta, no un archivo"), qPrintable(m));
    }

    void procesoMatadoEnPlenoCambio_data() { backends({"sqlite", "postgresql", "odbc"}); }

    void procesoMatadoEnPlenoCambio()
    {
        QFETCH(QString, eleccion);
        ABRIR(eleccion);
        oDAM.reset();
        const QStringList posiciones = {"0201.10.00.000W", "0302.11.10.000T", "0401.10.10.000U", kPosicion};
        QStringList esperado = base->filas();

        for (int ronda = 0; ronda < 3; ++ronda) {
            const QStringList nuevas = {QString::number(30 + 2 * ronda), QString::number(31 + 2 * ronda)};
            std::vector<std::unique_ptr<QProcess>> procesos;
            QHash<QString, QString> viejas;
            for (const QString &p : posiciones) {
                viejas.insert(p, base->unidadDe(p));
                procesos.push_back(lanzarUsuario(base->url(), p, 1000000, nuevas));
                QVERIFY(procesos.back()->waitForStarted());
            }
            // Every writer has stored once: each is in the middle of its stream.
            for (auto &proceso : procesos)
                QVERIFY2(proceso->waitForReadyRead(20000), proceso->readAllStandardError().constData());
            QTest::qWait(QRandomGenerator::global()->bounded(5, 60));
            for (auto &proceso : procesos) {
                QVERIFY2(proceso->state() == QProcess::Running, proceso->readAllStandardError().constData());
                proceso->kill();
            }
            for (auto &proceso : procesos) {
                QVERIFY(proceso->waitForFinished(10000));
                QCOMPARE(proceso->exitStatus(), QProcess::CrashExit);
            }

            QCOMPARE(integridad(*base), QString("ok"));
            const QStringList filas = base->filas();
            QCOMPARE(filas.size(), esperado.size());
            for (int i = 0; i < filas.size(); ++i) {
                const QStringList campos = filas[i].split(u'|');
                const QString p = campos[0] + u'.' + campos[1] + campos[2];
                if (posiciones.contains(p))
                    QVERIFY2(campos[3] == viejas[p] || nuevas.contains(campos[3]), qPrintable(filas[i]));
                else
                    QCOMPARE(filas[i], esperado[i]);
            }
        }

        // Nothing the killed programs held keeps the next user from storing.
        oDAM = CrearObjeto(kClaseDAM);
        oDAM->loadparameters();
        for (const QString &p : posiciones) {
            QVERIFY(EjecutarUpdate(*oDAM, p, "99"));
            QCOMPARE(consultar(p), QString("99"));
        }
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // Run under a locale of its own (LC_ALL=es_AR.UTF-8, say), it must really be that
    // locale: causes have to be told apart whatever language the drivers would speak.
    const QByteArray pedido = qgetenv("LC_ALL");
    const char *puesto = std::setlocale(LC_MESSAGES, nullptr);
    if (!pedido.isEmpty() && (!puesto || !QByteArray(puesto).startsWith(pedido.left(5)))) {
        std::fprintf(stderr, "no se pudo poner el idioma %s (LOCPATH=%s)\n", pedido.constData(),
                     qgetenv("LOCPATH").constData());
        return 1;
    }
    registrarComponenteDAM();
    TstFallos fallos;
    return QTest::qExec(&fallos, argc, argv);
}

#include "tst_fallos.moc"
