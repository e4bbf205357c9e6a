// SPDX-License-Identifier: GPL-3.0-or-later
// SIGINT, SIGTERM and SIGHUP at any moment of a command that stores: it ends with
// everything stored and journaled, or nothing stored and nothing journaled. The real
// program, on the database TELQUIN_TEST_DB chooses.

#include "BaseDePrueba.h"
#include "LecturaDeBitacora.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QtTest>

#include <csignal>

namespace {

constexpr int kFilas = 10000;

} // namespace

class TstSenales : public QObject {
    Q_OBJECT

    std::unique_ptr<BaseDePrueba> base;
    std::unique_ptr<QTemporaryDir> dir;

    QString rutaDeBitacora() const { return dir->filePath("estado/telquin/cambios.csv"); }

    std::unique_ptr<QProcess> lanzar(const QStringList &argumentos, const QString &url)
    {
        auto p = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DAM_DATABASE_URL", url);
        env.insert("XDG_STATE_HOME", dir->filePath("estado"));
        p->setProcessEnvironment(env);
        p->start(QStringLiteral(TELQUIN_PROGRAMA), argumentos);
        return p;
    }

    // The status a shell shows, also for a program a signal killed.
    static int terminar(QProcess &p, QString *error = nullptr)
    {
        if (!p.waitForFinished(120000))
            p.kill();
        if (error)
            *error = QString::fromUtf8(p.readAllStandardError());
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : 128 + p.exitCode();
    }

    int cambiadas()
    {
        QSqlQuery q(base->db());
        q.exec(R"(SELECT count(*) FROM NCM WHERE "001" LIKE '77%' AND "012" = '02')");
        return q.next() ? q.value(0).toInt() : -1;
    }

    static void agregarSenales()
    {
        QTest::addColumn<int>("senal");
        QTest::newRow("SIGINT") << SIGINT;
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGHUP") << SIGHUP;
    }

private slots:
    void init()
    {
        base = std::make_unique<BaseDePrueba>();
        dir = std::make_unique<QTemporaryDir>();
    }

    void cleanup()
    {
        base.reset();
        dir.reset();
    }

    void loteEnCualquierMomento_data() { agregarSenales(); }

    void loteEnCualquierMomento()
    {
        QFETCH(int, senal);
        QFile archivo(dir->filePath("lote.csv"));
        QVERIFY(archivo.open(QIODevice::WriteOnly));
        archivo.write(base->filasExtra(kFilas));
        archivo.close();
        const QStringList argumentos{"lote", archivo.fileName(), "--aplicar"};

        // How long a whole batch takes here: the signals fall anywhere within it.
        QElapsedTimer reloj;
        reloj.start();
        QCOMPARE(terminar(*lanzar(argumentos, base->url())), 0);
        const qint64 duracion = std::max<qint64>(reloj.elapsed(), 50);

        int guardados = 0;
        int detenidos = 0;
        for (int corrida = 0; corrida < 8; ++corrida) {
            base->ejecutar(R"(UPDATE NCM SET "012" = '01' WHERE "001" LIKE '77%')");
            QFile::remove(rutaDeBitacora());
            const auto p = lanzar(argumentos, base->url());
            QVERIFY(p->waitForStarted());
            QTest::qSleep(int(QRandomGenerator::global()->bounded(duracion * 11 / 10 + 1)));
            (void)::kill(pid_t(p->processId()), senal);
            QString error;
            const int estado = terminar(*p, &error);
            const int filas = cambiadas();
            const int lineas = int(leerBitacora(rutaDeBitacora()).size());
            const QString que = QStringLiteral("corrida %1: estado %2, %3 filas, %4 líneas\n%5")
                                    .arg(corrida)
                                    .arg(estado)
                                    .arg(filas)
                                    .arg(lineas)
                                    .arg(error);
            QVERIFY2((filas == 0 && lineas == 0) || (filas == kFilas && lineas == kFilas), qPrintable(que));
            QVERIFY2(estado == 0 || estado == 128 + senal, qPrintable(que));
            if (filas == kFilas && estado != 0)
                QVERIFY2(error.contains("quedaron guardados y anotados"), qPrintable(que));
            (filas ? guardados : detenidos)++;
        }
        qInfo("%d corridas guardadas, %d detenidas", guardados, detenidos);
    }

    // A change waiting for a row another user holds is stopped there, and never
    // lands once that user lets go.
    void cambiarMientrasEspera_data() { agregarSenales(); }

    void cambiarMientrasEspera()
    {
        QFETCH(int, senal);
        const bool odbc = base->url().startsWith("odbc:");
        QString url = base->url();
        url += base->esSqlite() ? "?espera=30" : odbc ? ";espera=4" : "&espera=30";
        if (base->esSqlite()) {
            base->ejecutar("BEGIN IMMEDIATE");
        } else {
            base->ejecutar("BEGIN");
            base->ejecutar(R"(UPDATE NCM SET "012" = '11' WHERE "001" = '8901.10.00' AND "003" = 'L')");
        }
        const auto p = lanzar({"cambiar", "8901.10.00.000L", "44"}, url);
        QVERIFY(p->waitForStarted());
        bool esperando = base->esSqlite();
        for (int i = 0; i < 200 && !esperando; ++i) {
            QSqlQuery q(base->db());
            // Inside a transaction the statistics are read once, unless cleared.
            q.exec("SELECT pg_stat_clear_snapshot()");
            esperando = q.exec("SELECT 1 FROM pg_stat_activity WHERE wait_event_type = 'Lock'") && q.next();
            if (!esperando)
                QTest::qWait(25);
        }
        QVERIFY(esperando);
        QTest::qWait(300);
        QElapsedTimer reloj;
        reloj.start();
        QCOMPARE(::kill(pid_t(p->processId()), senal), 0);
        QString error;
        const int estado = terminar(*p, &error);
        QCOMPARE(estado, 128 + senal);
        QVERIFY2(error.contains("Interrumpido. No se guardó ningún cambio."), qPrintable(error));
        // Through ODBC the statement is not stopped: it waits out its 4 s.
        QVERIFY2(reloj.elapsed() < (odbc ? 8000 : 3000), "the signal must stop the wait");
        base->ejecutar("ROLLBACK");
        QTest::qWait(500);
        QCOMPARE(base->unidadDe("8901.10.00.000L"), QString("07"));
        QVERIFY(leerBitacora(rutaDeBitacora()).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TstSenales)
#include "tst_senales.moc"
