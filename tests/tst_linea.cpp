// SPDX-License-Identifier: GPL-3.0-or-later
// The command line as users drive it: the real program, its arguments, standard
// input and output, exit status, the table and the change journal afterwards. The
// database is the one TELQUIN_TEST_DB chooses (see BaseDePrueba.h).

#include "BaseDePrueba.h"
#include "LecturaDeBitacora.h"
#include "cli/Ordenes.h"
#include "cli/Terminal.h"
#include "dam/Direccion.h"

#include <QProcess>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
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

    // Lines of the journal as "posicion anterior nueva origen base".
    QStringList bitacora()
    {
        QString error;
        QStringList lineas;
        for (const Anotacion &c : leerBitacora(rutaDeBitacora(), {}, &error))
            lineas << QStringList{c.posicion, c.anterior, c.nueva, c.origen, c.base}.join(u' ');
        if (!error.isEmpty())
            lineas << "error: " + error;
        return lineas;
    }

private slots:
    // What a failure of the component looks like on standard error: headed by what kind
    // of failure it is, the component's words below, each line after the first
    // indented.
    void encabezadoDelFallo()
    {
        QTemporaryFile archivo;
        QVERIFY(archivo.open());
        std::fflush(stderr);
        const int guardado = ::dup(STDERR_FILENO);
        ::dup2(archivo.handle(), STDERR_FILENO);
        falloDeBase(ErrorDeConfiguracion("La dirección no es válida:\nfalta el puerto\n\nvea dam.conf"));
        falloDeBase(ErrorComponente("No existe la tabla NCM."));
        std::fflush(stderr);
        ::dup2(guardado, STDERR_FILENO);
        ::close(guardado);
        QVERIFY(archivo.seek(0));
        QCOMPARE(QString::fromUtf8(archivo.readAll()),
                 QString("telquin: Error en la configuración.\n"
                         "  La dirección no es válida:\n"
                         "  falta el puerto\n"
                         "\n"
                         "  vea dam.conf\n"
                         "telquin: Falló la base de datos.\n"
                         "  No existe la tabla NCM.\n"));
    }

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

    void ordenes_data()
    {
        QTest::addColumn<QStringList>("argumentos");
        QTest::addColumn<int>("estado");
        QTest::addColumn<QString>("salida"); // what standard output holds
        QTest::addColumn<QString>("error"); // what standard error holds

        QTest::newRow("ayuda") << QStringList{"--help"} << 0 << "Estados de salida:"
                               << "";
        QTest::newRow("ayuda corta") << QStringList{"consultar", "-h"} << 0 << "  130  Ctrl+C (SIGINT)"
                                     << "";
        QTest::newRow("version") << QStringList{"--version"} << 0 << "telquin 1.0.1\n"
                                 << "";
        QTest::newRow("version corta") << QStringList{"-v"} << 0 << "telquin 1.0.1\n"
                                       << "";
        QTest::newRow("orden desconocida") << QStringList{"borrar", "8901.10.00.000L"} << 2 << ""
                                           << "orden desconocida: «borrar»";
        QTest::newRow("opcion desconocida") << QStringList{"consultar", "--rapido", "8901.10.00.000L"} << 2 << ""
                                            << "opción desconocida: --rapido";
        QTest::newRow("falta un argumento") << QStringList{"cambiar", "8901.10.00.000L"} << 2 << ""
                                            << "faltan argumentos";
        QTest::newRow("sobra un argumento") << QStringList{"consultar", "8901.10.00.000L", "07"} << 2 << ""
                                            << "sobran argumentos";
        QTest::newRow("aplicar fuera de un lote")
            << QStringList{"cambiar", "8901.10.00.000L", "05", "--aplicar"} << 2 << ""
            << "--aplicar solo vale para la orden lote";
        QTest::newRow("lote que no existe") << QStringList{"lote", "/no/existe.csv"} << 2 << ""
                                            << "no se puede leer el archivo /no/existe.csv: no existe";
        // Qt's option parser speaks Spanish too.
        QTest::newRow("opcion con valor") << QStringList{"lote", "-", "--aplicar=si"} << 2 << ""
                                          << "telquin: Valor inesperado tras «--aplicar».\n"
                                             "  Pruebe «telquin --help» para más información.\n";
        QTest::newRow("fin de las opciones")
            << QStringList{"consultar", "--", "8901.10.00.000L"} << 0 << "8901.10.00.000L\t07\tUNIDAD\n"
            << "";
        QTest::newRow("consultar") << QStringList{"consultar", "8901.10.00.000L"} << 0
                                   << "8901.10.00.000L\t07\tUNIDAD\n"
                                   << "";
        QTest::newRow("consultar sin unidad")
            << QStringList{"consultar", "9503.00.10.000B"} << 0 << "9503.00.10.000B\t\t\n"
            << "";
        QTest::newRow("consultar no encontrada") << QStringList{"consultar", "8901.10.00.000M"} << 1 << ""
                                                 << "telquin: Posicion Arancelaria No encontrada\n";
        QTest::newRow("consultar mal escrita") << QStringList{"consultar", "8901.10.00.0000"} << 1 << ""
                                               << "telquin: Formato de PA incorrecto (Ej. 8901.10.00.000L)\n";
        QTest::newRow("consultar texto hostil") << QStringList{"consultar", "8901.10.00.0'-L"} << 1 << ""
                                                << "telquin: Posicion Arancelaria No encontrada\n";
        QTest::newRow("cambiar no encontrada") << QStringList{"cambiar", "8901.10.00.000M", "05"} << 1 << ""
                                               << "telquin: Posicion Arancelaria No encontrada\n";
        QTest::newRow("cambiar unidad incorrecta")
            << QStringList{"cambiar", "8901.10.00.000L", "5'; DELETE FROM NCM; --"} << 1 << ""
            << "Verifique los datos antes de guardar";
        QTest::newRow("cambiar mal escrita") << QStringList{"cambiar", "8901.10.00.000", "05"} << 1 << ""
                                             << "Formato de PA incorrecto";
    }

    void ordenes()
    {
        QFETCH(QStringList, argumentos);
        QFETCH(int, estado);
        QFETCH(QString, salida);
        QFETCH(QString, error);
        const QStringList antes = base->filas();
        const Corrida c = correr(argumentos);
        QCOMPARE(c.estado, estado);
        if (salida.isEmpty())
            QCOMPARE(c.salida, QString());
        else if (salida.endsWith(u'\n'))
            QCOMPARE(c.salida, salida);
        else
            QVERIFY2(c.salida.contains(salida), qPrintable(c.salida));
        if (error.isEmpty())
            QCOMPARE(c.error, QString());
        else
            QVERIFY2(error.endsWith(u'\n') ? c.error == error : c.error.contains(error), qPrintable(c.error));
        QCOMPARE(base->filas(), antes);
        QCOMPARE(bitacora(), QStringList());
    }

    void cambiarGuardaYAnota_data()
    {
        QTest::addColumn<QString>("posicion");
        QTest::addColumn<QString>("unidad");
        QTest::addColumn<QString>("anterior");
        QTest::addColumn<QString>("guardada");
        QTest::newRow("con unidad") << "0101.21.00.100W"
                                    << "5"
                                    << "09"
                                    << "05";
        QTest::newRow("sin unidad") << "9503.00.10.000B"
                                    << "07"
                                    << ""
                                    << "07";
    }

    void cambiarGuardaYAnota()
    {
        QFETCH(QString, posicion);
        QFETCH(QString, unidad);
        QFETCH(QString, anterior);
        QFETCH(QString, guardada);
        QStringList esperado = base->filas();
        const QString clave = posicion.left(10) + u'|' + posicion.mid(11, 3) + u'|' + posicion.mid(14);
        esperado.replace(esperado.indexOf(clave + u'|' + (anterior.isEmpty() ? "<null>" : anterior)),
                         clave + u'|' + guardada);

        const Corrida c = correr({"cambiar", posicion, unidad});
        QCOMPARE(c.estado, 0);
        QCOMPARE(c.salida, posicion + u'\t' + anterior + u'\t' + guardada + u'\n');
        QCOMPARE(base->filas(), esperado);
        // The journal names the database without its password.
        const QString linea = QStringList{posicion, anterior, guardada, "linea", leerDireccion(url).visible}.join(u' ');
        QCOMPARE(bitacora(), QStringList(linea));
        QCOMPARE(correr({"historial", posicion}).salida.count(u'\n'), 2);
    }

    // Standard output that cannot be written, and standard descriptors left closed.
    // A change is stored, then noted, then printed: lost output never loses its line
    // in the journal, and is never reported as success.
    void descriptores_data()
    {
        QTest::addColumn<QStringList>("argumentos");
        QTest::addColumn<QString>("descriptores");
        QTest::addColumn<bool>("registroRoto");
        QTest::addColumn<int>("estado");
        QTest::addColumn<QString>("error"); // how standard error ends; %1 is the journal's path
        QTest::addColumn<QStringList>("bitacoraEsperada"); // how each journal line starts

        const QStringList cambiar{"cambiar", "8901.10.00.000L", "05"};
        const QString lleno = "telquin: no se pudo escribir la salida: no queda espacio en el disco\n";
        const QString tuberia = "telquin: no se pudo escribir la salida: el programa que leía del otro lado de la "
                                "tubería la cerró\n";
        const QString cerrada = "telquin: no se pudo escribir la salida: el descriptor de archivo está cerrado o no es "
                                "válido\n";
        const QString anotados = "  Los cambios están guardados y anotados en el registro.\n";
        const QStringList cambio{"8901.10.00.000L 07 05 linea"};

        QTest::newRow("cambiar, salida llena") << cambiar << "salida llena" << false << 5 << lleno + anotados << cambio;
        QTest::newRow("cambiar, tuberia cerrada")
            << cambiar << "tuberia cerrada" << false << 5 << tuberia + anotados << cambio;
        QTest::newRow("cambiar, salida cerrada")
            << cambiar << "salida cerrada" << false << 5 << cerrada + anotados << cambio;
        QTest::newRow("cambiar, salida llena y registro roto")
            << cambiar << "salida llena" << true << 4
            << "telquin: El cambio se guardó en la base de datos, pero no se pudo anotar en el registro de cambios %1: "
               "es una carpeta, no un archivo\n"
                + lleno
            << QStringList{"error: es una carpeta"};
        QTest::newRow("lote aplicado, tuberia cerrada")
            << QStringList{"lote", "-", "--aplicar"} << "tuberia cerrada" << false << 5
            << "Cambios guardados: 1.\n" + tuberia + anotados << QStringList{"8901.10.00.000L 07 05 lote"};
        QTest::newRow("consultar, salida llena")
            << QStringList{"consultar", "8901.10.00.000L"} << "salida llena" << false << 5 << lleno << QStringList();
        // Commands that store nothing end on a closed pipe as cat does.
        QTest::newRow("consultar, tuberia cerrada") << QStringList{"consultar", "8901.10.00.000L"} << "tuberia cerrada"
                                                    << false << 128 + SIGPIPE << "" << QStringList();
        QTest::newRow("historial, tuberia cerrada")
            << QStringList{"historial"} << "tuberia cerrada" << false << 128 + SIGPIPE << "" << QStringList();
        QTest::newRow("lote, entrada cerrada")
            << QStringList{"lote", "-"} << "entrada cerrada" << false << 0
            << "cambia: 0\tigual: 0\tno encontrada: 0\tformato incorrecto: 0\tunidad incorrecta: 0\trepetida: 0\n"
            << QStringList();
    }

    void descriptores()
    {
        QFETCH(QStringList, argumentos);
        QFETCH(QString, descriptores);
        QFETCH(bool, registroRoto);
        QFETCH(int, estado);
        QFETCH(QString, error);
        QFETCH(QStringList, bitacoraEsperada);
        if (registroRoto)
            QVERIFY(QDir().mkpath(rutaDeBitacora()));
        const auto enElHijo = [descriptores] {
            if (descriptores == u"salida llena") {
                ::dup2(::open("/dev/full", O_WRONLY), STDOUT_FILENO);
            } else if (descriptores == u"tuberia cerrada") {
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

    // Batch files: any line end, and no more than 64 MiB, however they are read.
    void lotesLeidos_data()
    {
        QTest::addColumn<QString>("ruta"); // empty: a file holding datos; "disperso": 64 MiB and one byte
        QTest::addColumn<QByteArray>("datos");
        QTest::addColumn<int>("estado");
        QTest::addColumn<QString>("salida");
        QTest::addColumn<QString>("error"); // how standard error ends; %1 is the file's path
        QTest::addColumn<QString>("unidad"); // of 8901.10.00.000L afterwards

        QTest::newRow("solo CR, aplicado")
            << "" << QByteArray("posicion;unidad\r8901.10.00.000L;5\r0401.10.10.000U;05\r") << 0
            << "2\t8901.10.00.000L\t07\t05\tcambia\t\n"
               "3\t0401.10.10.000U\t05\t05\tigual\t\n"
            << "Cambios guardados: 1.\n"
            << "05";
        // The NUL would cut the statement short: such a value is never sent.
        QTest::newRow("NUL en una posicion y en una unidad")
            << "" << QByteArrayLiteral("8901.10.00.00\0L,09\n8901.10.00.000L,0\0009\n") << 1
            << "1\t8901.10.00.00?L\t\t09\tno encontrada\t\n"
               "2\t8901.10.00.000L\t07\t0?9\tunidad incorrecta\t\n"
            << "No se guardó ningún cambio.\n"
            << "07";
        QTest::newRow("archivo disperso de mas de 64 MiB") << "disperso" << QByteArray() << 2 << ""
                                                           << "telquin: %1: el lote supera los 64 MiB\n"
                                                           << "07";
        QTest::newRow("/dev/zero") << "/dev/zero" << QByteArray() << 2 << ""
                                   << "telquin: /dev/zero: el lote supera los 64 MiB\n"
                                   << "07";
    }

    void lotesLeidos()
    {
        QFETCH(QString, ruta);
        QFETCH(QByteArray, datos);
        QFETCH(int, estado);
        QFETCH(QString, salida);
        QFETCH(QString, error);
        QFETCH(QString, unidad);
        if (ruta.isEmpty())
            ruta = archivo(datos);
        if (ruta == u"disperso") {
            ruta = archivo({});
            QVERIFY(QFile::resize(ruta, 64 * 1024 * 1024 + 1));
        }
        const Corrida c = correr({"lote", ruta, "--aplicar"});
        QCOMPARE(c.estado, estado);
        QCOMPARE(c.salida, salida);
        QVERIFY2(c.error.endsWith(error.arg(ruta)), qPrintable(c.error));
        QCOMPARE(base->unidad("8901.10.00", "000", "L"), unidad);
    }

    // A journal line left without its end, with an open quote, hides none of the
    // changes after it; historial names it and says so in its status.
    void historialConLineaRota()
    {
        QVERIFY(QDir().mkpath(QFileInfo(rutaDeBitacora()).absolutePath()));
        QFile archivoDeBitacora(rutaDeBitacora());
        QVERIFY(archivoDeBitacora.open(QIODevice::WriteOnly));
        archivoDeBitacora.write("fecha,usuario,equipo,base,posicion,anterior,nueva,origen\n"
                                "2026-12-08T10:15:02-03:00,ana,puesto-7,x,0101.21.00.100W,01,09,linea\n"
                                "2026-12-08T10:16:02-03:00,ana,\"puesto-7,x,8901.10.00.000L,07,0");
        archivoDeBitacora.close();
        QCOMPARE(correr({"cambiar", "8901.10.00.000L", "05"}).estado, 0);

        const Corrida c = correr({"historial"});
        QCOMPARE(c.estado, 1);
        QCOMPARE(c.error,
                 "telquin: registro de cambios " + rutaDeBitacora()
                     + ": la línea 3 abre unas comillas que no se cierran\n");
        const QStringList lineas = c.salida.split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lineas.size(), 3);
        QVERIFY2(lineas[1].endsWith("\t0101.21.00.100W\t01\t09\tlinea"), qPrintable(lineas[1]));
        QVERIFY2(lineas[2].endsWith("\t8901.10.00.000L\t07\t05\tlinea"), qPrintable(lineas[2]));
    }

    // A journal line that does not read is told on standard error with its control
    // characters shown as "?", as standard output shows them: nothing of the file can
    // move the cursor, recolour or retitle the user's terminal.
    void historialConControles_data()
    {
        QTest::addColumn<QByteArray>("fecha"); // the date field of the line that does not read
        QTest::addColumn<QString>("dice");
        QTest::newRow("color") << QByteArray("\x1b[31mrojo\x1b[0m") << "?[31mrojo?[0m";
        QTest::newRow("título y campana") << QByteArray("\x1b]0;x\x07") << "?]0;x?";
        QTest::newRow("CSI de ocho bits") << QByteArray("\xc2\x9b"
                                                        "2J")
                                          << "?2J";
        QTest::newRow("retroceso y borrado") << QByteArray("ab\x08\x7f") << "ab??";
        QTest::newRow("tabulador y retorno") << QByteArray("\"a\tb\rc\"") << "a b c";
    }

    void historialConControles()
    {
        QFETCH(QByteArray, fecha);
        QFETCH(QString, dice);
        QVERIFY(QDir().mkpath(QFileInfo(rutaDeBitacora()).absolutePath()));
        QFile archivoDeBitacora(rutaDeBitacora());
        QVERIFY(archivoDeBitacora.open(QIODevice::WriteOnly));
        archivoDeBitacora.write("fecha,usuario,equipo,base,posicion,anterior,nueva,origen\n" + fecha
                                + ",ana,\x1b[2Jpuesto,x,0101.21.00.100W,01,09,linea\n"
                                  "2026-12-08T10:15:02-03:00,\x1b[2Jana,puesto,x,0101.21.00.100W,01,09,linea\n");
        archivoDeBitacora.close();

        const auto p = lanzar({"historial"});
        QVERIFY(p->waitForFinished(60000));
        const QByteArray error = p->readAllStandardError();
        const QByteArray salida = p->readAllStandardOutput();
        QCOMPARE(p->exitCode(), 1);
        QCOMPARE(QString::fromUtf8(error),
                 "telquin: registro de cambios " + rutaDeBitacora()
                     + ": la línea 2 tiene una fecha que no se entiende: " + dice + "\n");
        QVERIFY2(salida.contains("\t?[2Jana\t"), salida.constData());
    }

    // Only a command that could have stored anything says that nothing was stored.
    void baseQueFalla_data()
    {
        QTest::addColumn<QStringList>("argumentos");
        QTest::addColumn<bool>("guarda");
        QTest::newRow("consultar") << QStringList{"consultar", "8901.10.00.000L"} << false;
        QTest::newRow("cambiar") << QStringList{"cambiar", "8901.10.00.000L", "05"} << true;
        QTest::newRow("lote") << QStringList{"lote", "-", "--aplicar"} << true;
        QTest::newRow("lote sin aplicar") << QStringList{"lote", "-"} << false;
    }

    void baseQueFalla()
    {
        QFETCH(QStringList, argumentos);
        QFETCH(bool, guarda);
        const QByteArray lote = "8901.10.00.000L,05\n";
        const QString falta = dir->filePath("no-existe.sqlite");
        url = "sqlite:" + falta;
        Corrida c = correr(argumentos, lote);
        QCOMPARE(c.estado, 3);
        // The first line is the program's, the component's own follow it. An address
        // the user gave offers no sample database.
        QCOMPARE(c.error.section(u'\n', 0, 0),
                 QString(guarda ? "telquin: Falló la base de datos. No se guardó ningún cambio."
                                : "telquin: Falló la base de datos."));
        QCOMPARE(c.error.section(u'\n', 1),
                 "  No existe la base de datos " + falta + " (dirección " + url
                     + ", que da la variable DAM_DATABASE_URL). Si está en una carpeta compartida, compruebe que esté "
                       "montada.\n");

        // Another user holds the row (on SQLite, the file) past a wait of one second.
        url = base->url() + (base->esSqlite() || !base->url().contains(u'?') ? "?espera=1" : "&espera=1");
        if (url.startsWith("odbc:"))
            url = base->url() + ";espera=1";
        base->ejecutar(base->esSqlite() ? "BEGIN IMMEDIATE" : "BEGIN");
        base->ejecutar(textoDeUpdateCrudo("8901.10.00", "000", "L", "33"));
        c = correr(argumentos, lote);
        base->ejecutar("ROLLBACK");
        if (!guarda) {
            // Readers do not wait for a writer.
            QCOMPARE(c.estado, 0);
        } else {
            QCOMPARE(c.estado, 3);
            QVERIFY2(c.error.contains("telquin: Otro usuario está modificando "), qPrintable(c.error));
        }
        QCOMPARE(base->unidad("8901.10.00", "000", "L"), QString("07"));
        QCOMPARE(bitacora(), QStringList());
    }

    void loteAplicado()
    {
        // A row with an error: its line, the count of each outcome, status 1, nothing stored.
        const Corrida conError = correr({"lote", "-", "--aplicar"}, "8901.10.00.000M,05\n");
        QCOMPARE(conError.estado, 1);
        QCOMPARE(conError.salida,
                 QString("1\t8901.10.00.000M\t\t05\tno encontrada\tLa letra de control debería ser L\n"));
        // The summary is a record of its own, without the program's name.
        QCOMPARE(conError.error,
                 QString("cambia: 0\tigual: 0\tno encontrada: 1\tformato incorrecto: 0\tunidad incorrecta: 0\t"
                         "repetida: 0\n"
                         "telquin: 1 de las 1 filas tienen errores y el lote no se aplica. No se guardó ningún "
                         "cambio.\n"));

        QStringList esperado = base->filas();
        const auto cambiar = [&](const QString &fila, const QString &unidad) {
            const qsizetype i = esperado.indexOf(fila);
            QVERIFY2(i >= 0, qPrintable(fila));
            esperado[i] = fila.section(u'|', 0, 2) + u'|' + unidad;
        };
        cambiar("8901.10.00|000|L|07", "05");
        cambiar("9503.00.10|000|B|<null>", "07");
        cambiar("0101.21.00|100|X|09", "10");

        const QByteArray lote = "posicion,unidad\r\n"
                                "8901.10.00.000L,5\r\n"
                                "9503.00.10.000B,07\r\n"
                                "0401.10.10.000U,05\r\n"
                                "0101.21.00.100X,10\r\n"
                                "8901.10.00.000L,05\r\n";
        const Corrida c = correr({"lote", archivo(lote), "--aplicar"});
        QCOMPARE(c.estado, 0);
        QCOMPARE(c.salida,
                 QString("2\t8901.10.00.000L\t07\t05\tcambia\t\n"
                         "3\t9503.00.10.000B\t\t07\tcambia\t\n"
                         "4\t0401.10.10.000U\t05\t05\tigual\t\n"
                         "5\t0101.21.00.100X\t09\t10\tcambia\tLa letra de control debería ser W\n"
                         "6\t8901.10.00.000L\t07\t05\tcambia\t\n"));
        QVERIFY2(c.error.endsWith("\ntelquin: Cambios guardados: 3.\n"), qPrintable(c.error));
        QCOMPARE(base->filas(), esperado);
        const QString direccion = leerDireccion(url).visible;
        QCOMPARE(bitacora(),
                 (QStringList{"8901.10.00.000L 07 05 lote " + direccion, "9503.00.10.000B  07 lote " + direccion,
                              "0101.21.00.100X 09 10 lote " + direccion}));

        const QStringList historial = correr({"historial"}).salida.split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(historial.size(), 4);
        QCOMPARE(historial.front(), QString("fecha\tusuario\tequipo\tbase\tposicion\tanterior\tnueva\torigen"));
        QVERIFY2(historial.back().endsWith("\t0101.21.00.100X\t09\t10\tlote"), qPrintable(historial.back()));
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
                                       "'WITH v(a, b, c, u)%'")
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

    // The time left in whole seconds rounded up, one second in the singular; and no
    // escape sequences for a terminal that would print them as they are.
    void progreso()
    {
        QCOMPARE(lineaDeProgreso("Revisadas", 750, 1000, 1500), QString("Revisadas 750 de 1000 filas; falta 1 s"));
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

    // A unit column of integers: consultar shows the number as read and names it by
    // its two-digit code; lote stores through it, a chunk at a time, and journals the
    // units as read.
    void columnaEntera()
    {
        base->recrearConColumna("\"012\" INTEGER", "CAST(\"012\" AS INTEGER)");
        Corrida c = correr({"consultar", "8901.10.00.000L"});
        QCOMPARE(c.estado, 0);
        QCOMPARE(c.salida, QString("8901.10.00.000L\t7\tUNIDAD\n"));
        c = correr({"lote", "-", "--aplicar"}, "8901.10.00.000L,05\n9503.00.10.000B,01\n");
        QVERIFY2(c.estado == 0, qPrintable(c.error));
        QCOMPARE(base->unidadDe("8901.10.00.000L"), QString("5"));
        QCOMPARE(bitacora().filter(" lote ").size(), 2);
        QVERIFY2(bitacora().filter("8901.10.00.000L 7 05 lote").size() == 1, qPrintable(bitacora().join('\n')));
        QCOMPARE(correr({"consultar", "8901.10.00.000L"}).salida, QString("8901.10.00.000L\t5\tLITROS\n"));
    }

private:
    static QString textoDeUpdateCrudo(const QString &k1, const QString &k2, const QString &k3, const QString &u)
    {
        return QStringLiteral(R"(UPDATE NCM SET "012" = '%4' WHERE "001" = '%1' AND "002" = '%2' AND "003" = '%3')")
            .arg(k1, k2, k3, u);
    }
};

QTEST_GUILESS_MAIN(TstLinea)
#include "tst_linea.moc"
