// Faults of the database under the bundled component: each must raise ErrorComponente
// with a Spanish message that names the cause, and leave the table as it was.
// The server rows need the throwaway server named by TELQUIN_SERVIDOR
// (scripts/servidor-prueba); this test stops and restarts it.

#include "BaseDePrueba.h"
#include "Parametros.h"
#include "Registro.h"
#include "Sentencias.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QtTest>

#include <array>
#include <clocale>
#include <unistd.h>
#ifdef __linux__
#include <sys/fsuid.h>
#endif

namespace {

const QString kPosicion = QStringLiteral("8901.10.00.000L"); // unit 07 in the sample
const QString kClaveEquivocada = QStringLiteral("clave-equivocada-7f3a");

QString dirServidor()
{
    return qEnvironmentVariable("TELQUIN_SERVIDOR");
}

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

QString claveDelServidor()
{
    return urlsDelServidor(dirServidor()).value(QStringLiteral("PGPASSWORD"));
}

// The server's URL for a backend with one part replaced: the password, the host or
// the database name.
QString urlCambiada(const QString &eleccion, const QString &cambio)
{
    QString url = urlDePrueba(eleccion);
    if (eleccion == QLatin1String("postgresql")) {
        QUrl u(url);
        QUrlQuery consulta(u);
        if (cambio == QLatin1String("clave")) {
            u.setPassword(kClaveEquivocada);
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
                        : cambio == QLatin1String("host")  ? QStringLiteral("Servername")
                                                           : QStringLiteral("Database");
    const QString valor = cambio == QLatin1String("clave") ? kClaveEquivocada
                        : cambio == QLatin1String("host")  ? QStringLiteral("servidor-inexistente.invalid")
                                                           : QStringLiteral("no_existe");
    return url.replace(QRegularExpression(clave + QStringLiteral("=[^;]*")), clave + u'=' + valor);
}

} // namespace

class TstFallos : public QObject {
    Q_OBJECT

    std::unique_ptr<BaseDePrueba> base;
    std::unique_ptr<Componente> oDAM;

    // A fresh sample table on the backend and a component with its parameters
    // loaded; false when the backend is a server and there is none.
    bool abrir(const QString &eleccion)
    {
        if (eleccion != QLatin1String("sqlite") && urlsDelServidor(dirServidor()).isEmpty())
            return false;
        base = std::make_unique<BaseDePrueba>(eleccion);
        qputenv("DAM_DATABASE_URL", base->url().toUtf8());
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

#define ABRIR(eleccion)                                                                      \
    do {                                                                                     \
        if (!abrir(eleccion))                                                                \
            QSKIP("no hay servidor de prueba: TELQUIN_SERVIDOR no tiene urls.env");          \
    } while (false)

private slots:
    void cleanup()
    {
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

    void aperturaRechazada_data()
    {
        QTest::addColumn<QString>("eleccion");
        QTest::addColumn<QString>("cambio");
        QTest::addColumn<QString>("causa");
        const QString clave = "el servidor rechazó el usuario o la clave";
        const QString host = "no se encuentra el servidor";
        const QString nombre = "la base de datos no existe en el servidor";
        for (const QString b : {"postgresql", "odbc"}) {
            QTest::addRow("%s, clave equivocada", qPrintable(b)) << b << "clave" << clave;
            QTest::addRow("%s, servidor desconocido", qPrintable(b)) << b << "host" << host;
            QTest::addRow("%s, base que no existe", qPrintable(b)) << b << "base" << nombre;
        }
    }

    void aperturaRechazada()
    {
        QFETCH(QString, eleccion);
        QFETCH(QString, cambio);
        QFETCH(QString, causa);
        if (urlsDelServidor(dirServidor()).isEmpty())
            QSKIP("no hay servidor de prueba: TELQUIN_SERVIDOR no tiene urls.env");
        const QString url = urlCambiada(eleccion, cambio);
        qputenv("DAM_DATABASE_URL", url.toUtf8());
        const auto componente = CrearObjeto(kClaseDAM);
        const QString m = mensajeDeError([&] { componente->loadparameters(); });
        QVERIFY2(m.contains(causa), qPrintable(m));
        QVERIFY2(m.contains(urlSinClave(url)), qPrintable(m));
        QVERIFY2(!m.contains(claveDelServidor()) && !m.contains(kClaveEquivocada), qPrintable(m));
        QVERIFY_THROWS_EXCEPTION(ErrorComponente, (void)componente->getDataConnectionByEntity(kEntidadNcm));
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
            QSKIP("no hay servidor de prueba: TELQUIN_SERVIDOR no tiene urls.env");
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
                setfsuid(65534);
                deshacer = [] { setfsuid(0); };
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

    void procesoMatadoEnPlenoCambio_data() { backends({"sqlite", "postgresql", "odbc"}); }

    void procesoMatadoEnPlenoCambio()
    {
        QFETCH(QString, eleccion);
        ABRIR(eleccion);
        oDAM.reset();
        const QStringList posiciones = {"0201.10.00.000W", "0302.11.10.000T", "0401.10.10.000U", kPosicion};
        const auto clave = [](const QString &p) { return std::array<QString, 3>{p.left(10), p.mid(11, 3), p.mid(14, 1)}; };
        const auto unidad = [&](const QString &p) {
            const auto k = clave(p);
            return base->unidad(k[0], k[1], k[2]);
        };
        QStringList esperado = base->filas();

        for (int ronda = 0; ronda < 3; ++ronda) {
            const QStringList nuevas = {QString::number(30 + 2 * ronda), QString::number(31 + 2 * ronda)};
            std::vector<std::unique_ptr<QProcess>> procesos;
            QHash<QString, QString> viejas;
            for (const QString &p : posiciones) {
                viejas.insert(p, unidad(p));
                auto proceso = std::make_unique<QProcess>();
                QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
                env.insert("DAM_DATABASE_URL", base->url());
                proceso->setProcessEnvironment(env);
                proceso->start(QStringLiteral(TELQUIN_CARGA), QStringList{p, "1000000"} + nuevas);
                QVERIFY(proceso->waitForStarted());
                procesos.push_back(std::move(proceso));
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

            if (base->esSqlite()) {
                QSqlQuery q(base->db());
                QVERIFY(q.exec("PRAGMA integrity_check") && q.next());
                QCOMPARE(q.value(0).toString(), QString("ok"));
            }
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
    // The causes are recognised in the drivers' English texts (the test server speaks C).
    std::setlocale(LC_MESSAGES, "C");
    TstFallos fallos;
    return QTest::qExec(&fallos, argc, argv);
}

#include "tst_fallos.moc"
