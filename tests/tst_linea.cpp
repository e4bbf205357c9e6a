// SPDX-License-Identifier: GPL-3.0-or-later
// The command line as only the real program shows it: standard descriptors closed or
// piped, Ctrl+C, a terminal's progress line. The commands' outcomes are tested
// in-process in tst_ordenes. The database is the one TELQUIN_TEST_DB chooses (see
// BaseDePrueba.h).

#include "BaseDePrueba.h"
#include "LecturaDeBitacora.h"
#include "cli/Terminal.h"

#include <QProcess>
#include <QtTest>

#include <csignal>
#include <pty.h>
#include <unistd.h>

namespace {

struct Corrida {
    int estado = -1;
    QString salida;
    QString error;
};

} // namespace

class TstLinea : public QObject {
    Q_OBJECT

    std::unique_ptr<BaseDePrueba> base;
    std::unique_ptr<QTemporaryDir> dir;
    QString url;

    QString rutaDeBitacora() const { return dir->filePath("estado/telquin/cambios.csv"); }

    // enElHijo runs in the child just before the program starts.
    std::unique_ptr<QProcess> lanzar(const QStringList &argumentos, const std::function<void()> &enElHijo = {})
    {
        auto p = std::make_unique<QProcess>();
        p->setChildProcessModifier(enElHijo);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DAM_DATABASE_URL", url);
        env.insert("XDG_STATE_HOME", dir->filePath("estado"));
        p->setProcessEnvironment(env);
        p->start(QStringLiteral(TELQUIN_PROGRAMA), argumentos);
        return p;
    }

    Corrida terminar(QProcess &p)
    {
        if (!p.waitForFinished(120000))
            p.kill();
        Corrida c;
        // Killed by a signal: the status a shell shows.
        c.estado = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : 128 + p.exitCode();
        c.salida = QString::fromUtf8(p.readAllStandardOutput());
        c.error = QString::fromUtf8(p.readAllStandardError());
        return c;
    }

    Corrida correr(const QStringList &argumentos, const QByteArray &entrada = {},
                   const std::function<void()> &enElHijo = {})
    {
        const auto p = lanzar(argumentos, enElHijo);
        p->write(entrada);
        p->closeWriteChannel();
        return terminar(*p);
    }

    QString archivo(const QByteArray &datos)
    {
        static int n = 0;
        const QString ruta = dir->filePath(QStringLiteral("lote-%1.csv").arg(++n));
        QFile f(ruta);
        if (!f.open(QIODevice::WriteOnly) || f.write(datos) != datos.size())
            qFatal("no se puede escribir %s", qPrintable(ruta));
        return ruta;
    }

    QStringList bitacora() { return lineasDeBitacora(rutaDeBitacora(), true); }

private slots:
    void init()
    {
        base = std::make_unique<BaseDePrueba>();
        dir = std::make_unique<QTemporaryDir>();
        url = base->url();
    }

    void cleanup()
    {
        base.reset();
        dir.reset();
    }

    // Standard output that cannot be written, and standard descriptors left closed.
    // (A full standard output is in tst_ordenes.)
    // A change is stored, then noted, then printed: lost output never loses its line
    // in the journal, and is never reported as success.
    void descriptores_data()
    {
        QTest::addColumn<QStringList>("argumentos");
        QTest::addColumn<QString>("descriptores");
        QTest::addColumn<int>("estado");
        QTest::addColumn<QString>("error"); // how standard error ends; %1 is the journal's path
        QTest::addColumn<QStringList>("bitacoraEsperada"); // how each journal line starts

        const QStringList cambiar{"cambiar", "8901.10.00.000L", "05"};
        const QString tuberia = "telquin: no se pudo escribir la salida: el programa que leía del otro lado de la "
                                "tubería la cerró\n";
        const QString cerrada = "telquin: no se pudo escribir la salida: el descriptor de archivo está cerrado o no es "
                                "válido\n";
        const QString anotados = "  Los cambios están guardados y anotados en el registro.\n";
        const QStringList cambio{"8901.10.00.000L 07 05 linea"};

        QTest::newRow("cambiar, tuberia cerrada") << cambiar << "tuberia cerrada" << 5 << tuberia + anotados << cambio;
        QTest::newRow("cambiar, salida cerrada") << cambiar << "salida cerrada" << 5 << cerrada + anotados << cambio;
        QTest::newRow("lote aplicado, tuberia cerrada")
            << QStringList{"lote", "-", "--aplicar"} << "tuberia cerrada" << 5
            << "Cambios guardados: 1.\n" + tuberia + anotados << QStringList{"8901.10.00.000L 07 05 lote"};
        // Commands that store nothing end on a closed pipe as cat does.
        QTest::newRow("consultar, tuberia cerrada")
            << QStringList{"consultar", "8901.10.00.000L"} << "tuberia cerrada" << 128 + SIGPIPE << "" << QStringList();
        QTest::newRow("historial, tuberia cerrada")
            << QStringList{"historial"} << "tuberia cerrada" << 128 + SIGPIPE << "" << QStringList();
        QTest::newRow("lote, entrada cerrada")
            << QStringList{"lote", "-"} << "entrada cerrada" << 0
            << "cambia: 0\tigual: 0\tno encontrada: 0\tformato incorrecto: 0\tunidad incorrecta: 0\trepetida: 0\n"
            << QStringList();
    }

    void descriptores()
    {
        QFETCH(QStringList, argumentos);
        QFETCH(QString, descriptores);
        QFETCH(int, estado);
        QFETCH(QString, error);
        QFETCH(QStringList, bitacoraEsperada);
        const auto enElHijo = [descriptores] {
            if (descriptores == u"tuberia cerrada") {
                int extremos[2];
                if (::pipe(extremos) == 0) {
                    ::close(extremos[0]);
                    ::dup2(extremos[1], STDOUT_FILENO);
                }
            } else {
                ::close(descriptores == u"entrada cerrada" ? STDIN_FILENO : STDOUT_FILENO);
            }
        };

        const Corrida c = correr(argumentos, "8901.10.00.000L,05\n", enElHijo);
        QCOMPARE(c.estado, estado);
        if (error.isEmpty())
            QCOMPARE(c.error, QString());
        else
            QVERIFY2(c.error.endsWith(error.arg(rutaDeBitacora())), qPrintable(c.error));
        QCOMPARE(base->unidad("8901.10.00", "000", "L"), QString(bitacoraEsperada.isEmpty() ? "07" : "05"));
        const QStringList lineas = bitacora();
        QCOMPARE(lineas.size(), bitacoraEsperada.size());
        for (qsizetype i = 0; i < lineas.size(); ++i)
            QVERIFY2(lineas[i].startsWith(bitacoraEsperada[i]), qPrintable(lineas[i]));
    }

    // Ctrl+C stops the statement running too, on the databases that let it be stopped.
    void ctrlCAntesDeConfirmar()
    {
        if (base->url().startsWith("odbc:"))
            QSKIP("a través de ODBC la sentencia en curso no se detiene");
        const QByteArray lote = base->filasExtra(2000);
        const QStringList antes = base->filas();
        // Each update takes milliseconds: the batch's update statement takes many seconds.
        if (base->esSqlite()) {
            base->ejecutar("CREATE TABLE pesado AS SELECT \"001\" AS x FROM NCM LIMIT 600");
            base->ejecutar("CREATE TRIGGER lento AFTER UPDATE ON NCM BEGIN "
                           "SELECT count(*) FROM pesado AS a, pesado AS b; END");
        } else {
            base->ejecutar("CREATE OR REPLACE FUNCTION lento() RETURNS trigger AS $$ "
                           "BEGIN PERFORM pg_sleep(0.005); RETURN NEW; END $$ LANGUAGE plpgsql");
            base->ejecutar("CREATE TRIGGER lento BEFORE UPDATE ON NCM FOR EACH ROW EXECUTE FUNCTION lento()");
        }

        const auto p = lanzar({"lote", archivo(lote), "--aplicar"});
        QVERIFY(p->waitForStarted());
        bool enTransaccion = false;
        if (base->esSqlite()) {
            // The program holds the write lock once its transaction has begun.
            QSqlDatabase sonda = QSqlDatabase::addDatabase("QSQLITE", "sonda");
            sonda.setDatabaseName(base->ruta());
            sonda.setConnectOptions("QSQLITE_BUSY_TIMEOUT=0");
            QVERIFY(sonda.open());
            for (int i = 0; i < 600 && !enTransaccion && p->state() == QProcess::Running; ++i) {
                QSqlQuery q(sonda);
                enTransaccion = !q.exec("BEGIN IMMEDIATE");
                if (!enTransaccion) {
                    q.exec("ROLLBACK");
                    QTest::qWait(50);
                }
            }
            sonda.close();
            sonda = QSqlDatabase();
            QSqlDatabase::removeDatabase("sonda");
        } else {
            for (int i = 0; i < 600 && !enTransaccion && p->state() == QProcess::Running; ++i) {
                QSqlQuery q(base->db());
                enTransaccion = q.exec("SELECT 1 FROM pg_stat_activity WHERE state = 'active' AND query LIKE "
                                       "'WITH v(%UPDATE NCM SET%'")
                    && q.next();
                if (!enTransaccion)
                    QTest::qWait(50);
            }
        }
        // On into its updates.
        QTest::qWait(500);
        QVERIFY(enTransaccion);
        QElapsedTimer reloj;
        reloj.start();
        QCOMPARE(::kill(pid_t(p->processId()), SIGINT), 0);
        const Corrida c = terminar(*p);
        QCOMPARE(c.estado, 130);
        QVERIFY2(reloj.elapsed() < 5000, "Ctrl+C must stop the statement running");
        QVERIFY2(c.error.endsWith("\ntelquin: Interrumpido. No se guardó ningún cambio.\n"), qPrintable(c.error));
        // Standard error is not a terminal: no progress line, however long the batch.
        QVERIFY(!c.error.contains(u'\r'));
        QCOMPARE(base->filas(), antes);
        QCOMPARE(bitacora(), QStringList());
    }

    // libpq and the PostgreSQL connector's module are loaded for a PostgreSQL address
    // alone, the driver manager for ODBC alone: a user of another kind does not pay for
    // them at every start.
    void postgresqlSoloCuandoSeUsa()
    {
        auto p = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DAM_DATABASE_URL", url);
        env.insert("LD_DEBUG", "files");
        p->setProcessEnvironment(env);
        p->start(QStringLiteral(TELQUIN_PROGRAMA), {"consultar", "8901.10.00.000L"});
        const Corrida c = terminar(*p);
        QCOMPARE(c.estado, 0);
        QVERIFY2(c.salida.startsWith("8901.10.00.000L\t"), qPrintable(c.salida));
        const bool postgresql = qEnvironmentVariable("TELQUIN_TEST_DB") == "postgresql";
        QCOMPARE(c.error.contains("/postgresql.so"), postgresql);
        // psqlODBC links libpq itself.
        if (base->esSqlite())
            for (const char *biblioteca : {"file=libpq.so", "file=libodbc.so", "/odbc.so"})
                QVERIFY2(!c.error.contains(biblioteca), biblioteca);
    }

    // The time left in whole seconds rounded up, one second in the singular; and no
    // escape sequences for a terminal that would print them as they are.
    void progreso()
    {
        QCOMPARE(lineaDeProgreso("Revisadas", 750, 1000, 1500), QString("Revisadas 750 de 1000 filas; falta 1 s"));
        QCOMPARE(lineaDeProgreso("Leídas", 0, 9, 0, "líneas"), QString("Leídas 0 de 9 líneas"));
        QCOMPARE(lineaDeProgreso("Revisadas", 500, 1000, 1001),
                 QString("Revisadas 500 de 1000 filas; faltan unos 2 s"));
        int maestro = -1;
        int esclavo = -1;
        QVERIFY(::openpty(&maestro, &esclavo, nullptr, nullptr, nullptr) == 0);
        const QByteArray term = qgetenv("TERM");
        const int error = ::dup(STDERR_FILENO);
        ::dup2(esclavo, STDERR_FILENO);
        qputenv("TERM", "xterm");
        const bool enXterm = terminalConProgreso();
        qputenv("TERM", "dumb");
        const bool enDumb = terminalConProgreso();
        ::dup2(error, STDERR_FILENO);
        for (const int fd : {error, esclavo, maestro})
            ::close(fd);
        qputenv("TERM", term);
        QVERIFY(enXterm);
        QVERIFY(!enDumb);
    }
};

QTEST_GUILESS_MAIN(TstLinea)
#include "tst_linea.moc"
