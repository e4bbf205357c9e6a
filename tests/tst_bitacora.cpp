// SPDX-License-Identifier: GPL-3.0-or-later
#include "LecturaDeBitacora.h"
#include "archivos/Csv.h"
#include "archivos/Sistema.h"

#include <QtTest>

#include <cerrno>
#include <fcntl.h>
#include <future>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Set in the copies of this program that the concurrency test starts as writers.
constexpr char kEscritor[] = "TELQUIN_BITACORA_ESCRITOR";
// Set in the copy that reads a journal and tells how much its memory grew meanwhile.
constexpr char kLector[] = "TELQUIN_BITACORA_LECTOR";
constexpr qint64 kMiB = qint64(1) << 20;
constexpr int kLineas = 200;
constexpr int kLote = 50;

Anotacion cambioDePrueba(const QString &v)
{
    return Anotacion{
        QDateTime(QDate(2026, 12, 8), QTime(10, 15, 2), Qt::OffsetFromUTC, -3 * 3600), v, v, v, v, v, v, v};
}

// Writer "a" notes its changes one by one, writer "b" in batches; the position
// names the writer and "anterior" counts its changes.
int escribir(const QString &ruta, const QString &quien)
{
    QList<Anotacion> lote;
    for (int i = 0; i < kLineas; ++i) {
        lote.append(nuevaAnotacion("base", quien, QString::number(i), "07", "lote"));
        if (quien == u"a" || lote.size() == kLote) {
            if (anotarEn(ruta, lote))
                return 1;
            lote.clear();
        }
    }
    return 0;
}

// What recorrerBitacora hands on: the position of each change, "N: why" for each
// line it cannot read.
QStringList recorrida(const QString &ruta, QString *error = nullptr)
{
    QStringList leidos;
    const std::optional<QString> fallo = recorrerBitacora(
        ruta, {},
        [&](const Anotacion &c) {
            leidos << c.posicion;
            return true;
        },
        [&](int linea, const QString &motivo) { leidos << QString::number(linea) + ": " + motivo; });
    if (error)
        *error = fallo.value_or(QString());
    return leidos;
}

long picoDeMemoriaKiB()
{
    rusage uso{};
    ::getrusage(RUSAGE_SELF, &uso);
    return uso.ru_maxrss;
}

// The lector's work: what it read, then by how many KiB its peak memory grew.
int leerYMedir(const QString &ruta)
{
    const long antes = picoDeMemoriaKiB();
    QString error;
    const QStringList leidos = recorrida(ruta, &error);
    const long despues = picoDeMemoriaKiB();
    std::printf("%s\n%ld\n", (leidos + QStringList{error}).join(u'|').toUtf8().constData(), despues - antes);
    return 0;
}

// A line of a valid change, whose position is `posicion`.
QByteArray lineaBuena(const char *posicion)
{
    return "2026-12-08T10:15:02-03:00,ana,puesto,base," + QByteArray(posicion) + ",01,07,linea\n";
}

int modo(const QString &ruta)
{
    struct stat estado { };
    return ::stat(QFile::encodeName(ruta).constData(), &estado) == 0 ? int(estado.st_mode & 07777) : -1;
}

QByteArray contenido(const QString &ruta)
{
    QFile archivo(ruta);
    return archivo.open(QIODevice::ReadOnly) ? archivo.readAll() : QByteArray("(no se abre)");
}

} // namespace

class TstBitacora : public QObject {
    Q_OBJECT

private slots:
    void idaYVuelta_data()
    {
        QTest::addColumn<QString>("valor");
        QTest::addColumn<QString>("csv");
        QTest::newRow("simple") << "8901.10.00.000L"
                                << "8901.10.00.000L";
        QTest::newRow("coma") << "a,b"
                              << "\"a,b\"";
        QTest::newRow("comillas") << "di \"07\""
                                  << "\"di \"\"07\"\"\"";
        QTest::newRow("blanco detras") << "8901.10.00.000 "
                                       << "\"8901.10.00.000 \"";
        QTest::newRow("no ASCII") << "Ñandú — 中"
                                  << "Ñandú — 中";
        QTest::newRow("vacio") << ""
                               << "";
        QTest::newRow("fuera del plano basico")
            << QString::fromUtf8("\xF0\x9F\x98\x80") << QString::fromUtf8("\xF0\x9F\x98\x80");
    }

    void idaYVuelta()
    {
        QFETCH(QString, valor);
        QFETCH(QString, csv);
        QTemporaryDir dir;
        const QString ruta = dir.filePath("cambios.csv");
        QCOMPARE(anotarEn(ruta, {cambioDePrueba(valor)}).value_or(QString()), QString());
        QCOMPARE(QString::fromUtf8(contenido(ruta)).section(u'\n', 1),
                 "2026-12-08T10:15:02-03:00" + QString(u',' + csv).repeated(7) + u'\n');
        QString error;
        const QList<Anotacion> leidos = leerBitacora(ruta, {}, &error);
        QCOMPARE(error, QString());
        QCOMPARE(leidos.size(), 1);
        QCOMPARE(leidos[0].fecha, cambioDePrueba(valor).fecha);
        for (const QString &campo : {leidos[0].usuario, leidos[0].equipo, leidos[0].base, leidos[0].posicion,
                                     leidos[0].anterior, leidos[0].nueva, leidos[0].origen})
            QCOMPARE(campo, valor);
    }

    void cabeceraFechaYModo()
    {
        QCOMPARE(fechaBitacora(QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5), Qt::UTC)), "2026-01-02T03:04:05+00:00");
        QTemporaryDir dir;
        const QString ruta = dir.filePath("nueva/telquin/cambios.csv");
        QCOMPARE(anotarEn(ruta, {nuevaAnotacion("b", "8901.10.00.000L", "05", "07", "ventana")}).value_or(""), "");
        QCOMPARE(anotarEn(ruta,
                          {nuevaAnotacion("b", "8902.00.00.000A", "", "01", "lote"),
                           nuevaAnotacion("b", "8901.10.00.000L", "07", "05", "deshacer")})
                     .value_or(""),
                 "");
        const QList<QByteArray> lineas = contenido(ruta).split('\n');
        QCOMPARE(lineas.size(), 5); // the header, three changes, nothing after the last line end
        QCOMPARE(lineas[0], "fecha,usuario,equipo,base,posicion,anterior,nueva,origen");
        const QRegularExpression iso(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d,[^,]+,[^,]+,b,)");
        for (int i = 1; i <= 3; ++i)
            QVERIFY2(iso.match(QString::fromUtf8(lineas[i])).hasMatch(), lineas[i].constData());
        QCOMPARE(modo(ruta), 0600);
        QCOMPARE(modo(dir.filePath("nueva")), 0700);
        QCOMPARE(modo(QFileInfo(ruta).absolutePath()), 0700);

        QFile archivo(ruta);
        QVERIFY(archivo.open(QIODevice::Append));
        archivo.write("2026-12-08T10:15:02-03:00,ana,\"sin cerrar\n");
        archivo.close();
        QString error;
        const QList<Anotacion> deUnaPosicion = leerBitacora(ruta, "8901.10.00.000L", &error);
        QCOMPARE(error, "la línea 5 abre unas comillas que no se cierran");
        QCOMPARE(deUnaPosicion.size(), 2);
        QCOMPARE(deUnaPosicion[1].origen, "deshacer");
    }

    void dosProcesos()
    {
        QTemporaryDir dir;
        const QString ruta = dir.filePath("cambios.csv");
        QProcess escritores[2];
        for (int i = 0; i < 2; ++i) {
            QProcessEnvironment entorno = QProcessEnvironment::systemEnvironment();
            entorno.insert(kEscritor, ruta + u'|' + QChar(u'a' + i));
            escritores[i].setProcessEnvironment(entorno);
            escritores[i].setProcessChannelMode(QProcess::ForwardedChannels);
            escritores[i].start(QCoreApplication::applicationFilePath(), {});
        }
        for (QProcess &escritor : escritores) {
            QVERIFY(escritor.waitForFinished(100000));
            QCOMPARE(escritor.exitCode(), 0);
        }
        const QByteArray datos = contenido(ruta);
        QCOMPARE(datos.count('\n'), 1 + 2 * kLineas);
        QVERIFY(datos.startsWith("fecha,") && datos.endsWith('\n'));

        QString error;
        const QList<Anotacion> cambios = leerBitacora(ruta, {}, &error);
        QCOMPARE(error, QString());
        QCOMPARE(cambios.size(), 2 * kLineas);
        // Each writer's changes in its own order, each batch of "b" in one piece.
        int siguiente[2] = {0, 0};
        for (qsizetype i = 0; i < cambios.size(); ++i) {
            const int quien = cambios[i].posicion == u"b";
            QCOMPARE(cambios[i].anterior, QString::number(siguiente[quien]));
            if (quien == 1 && siguiente[1] % kLote != 0)
                QCOMPARE(cambios[i - 1].posicion, "b");
            ++siguiente[quien];
        }
    }

    void esperaAlQueTieneElCandado()
    {
        QTemporaryDir dir;
        const QString ruta = dir.filePath("cambios.csv");
        const int fd = ::open(QFile::encodeName(ruta).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        QVERIFY(fd >= 0);
        QCOMPARE(::flock(fd, LOCK_EX), 0);
        auto anotado = std::async(std::launch::async, [&] { return anotarEn(ruta, {cambioDePrueba("07")}); });
        const bool terminoConCandado = anotado.wait_for(std::chrono::milliseconds(300)) == std::future_status::ready;
        const qint64 tamanoConCandado = QFileInfo(ruta).size();
        ::close(fd);
        QCOMPARE(anotado.get().value_or(QString()), QString());
        QVERIFY(!terminoConCandado);
        QCOMPARE(tamanoConCandado, 0);
        QCOMPARE(leerBitacora(ruta).size(), 1);
    }

    // Nothing at the journal's path but the user's own regular file is used, and
    // nothing there makes a change wait past the lock's 2 seconds.
    void registroAjeno_data()
    {
        QTest::addColumn<QString>("caso");
        QTest::addColumn<QString>("motivo");
        QTest::newRow("enlace simbolico") << "enlace"
                                          << "es un enlace simbólico";
        QTest::newRow("enlace roto") << "enlace roto"
                                     << "es un enlace simbólico";
        QTest::newRow("FIFO") << "fifo"
                              << "no es un archivo común";
        QTest::newRow("FIFO con lector") << "fifo con lector"
                                         << "no es un archivo común";
        QTest::newRow("de otro usuario") << "ajeno"
                                         << "pertenece a otro usuario";
        QTest::newRow("candado de otra descripcion") << "candado"
                                                     << "otro programa mantiene ocupado el registro";
    }

    void registroAjeno()
    {
        QFETCH(QString, caso);
        QFETCH(QString, motivo);
        QTemporaryDir dir;
        const QString ruta = dir.filePath("cambios.csv");
        const QString destino = dir.filePath("destino.csv");
        const QByteArray nombre = QFile::encodeName(ruta);
        int fd = -1;
        if (caso == u"enlace") {
            QFile f(destino);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write("de otro\n") == 8);
        }
        if (caso.startsWith(u"enlace"))
            QVERIFY(QFile::link(destino, ruta));
        if (caso.startsWith(u"fifo"))
            QCOMPARE(::mkfifo(nombre.constData(), 0600), 0);
        if (caso == u"fifo con lector")
            QVERIFY((fd = ::open(nombre.constData(), O_RDONLY | O_NONBLOCK)) >= 0);
        if (caso == u"ajeno") {
            if (::geteuid() != 0)
                QSKIP("only root can give a file to another user");
            QCOMPARE(anotarEn(ruta, {cambioDePrueba("07")}).value_or(""), "");
            QCOMPARE(::chown(nombre.constData(), 65534, 65534), 0);
        }
        if (caso == u"candado") {
            QVERIFY((fd = ::open(nombre.constData(), O_RDWR | O_CREAT, 0600)) >= 0);
            QCOMPARE(::flock(fd, LOCK_EX), 0);
        }
        const bool comun = !caso.startsWith(u"fifo");
        const QByteArray antes = comun ? contenido(ruta) : QByteArray();

        QElapsedTimer reloj;
        reloj.start();
        QCOMPARE(anotarEn(ruta, {cambioDePrueba("07")}).value_or("(sin fallo)"), motivo);
        QVERIFY2(reloj.elapsed() < 3000, qPrintable(QString::number(reloj.elapsed())));
        reloj.restart();
        QString error;
        QVERIFY(leerBitacora(ruta, {}, &error).isEmpty());
        QCOMPARE(error, motivo);
        QVERIFY2(reloj.elapsed() < 3000, qPrintable(QString::number(reloj.elapsed())));

        if (fd >= 0)
            ::close(fd);
        if (comun)
            QCOMPARE(contenido(ruta), antes);
        if (caso.startsWith(u"enlace"))
            QCOMPARE(contenido(destino), caso == u"enlace" ? "de otro\n" : "(no se abre)");
    }

    // Each change is one line: line breaks in a value are written as blanks, a line
    // left without its end (torn, or edited by hand) stays alone, and a line that does
    // not read is told by its number without hiding the ones after it.
    void lineasRotas()
    {
        QTemporaryDir dir;
        const QString ruta = dir.filePath("cambios.csv");
        QCOMPARE(anotarEn(ruta, {cambioDePrueba("a")}).value_or(""), "");
        QFile archivo(ruta);
        QVERIFY(archivo.open(QIODevice::Append));
        archivo.write("2026-12-08T10:15:02-03:00,x,x,x,\"abre sin cerrar,x,x,x\nbasura");
        archivo.close();
        QCOMPARE(anotarEn(ruta, {cambioDePrueba("b\r\nc\rd\ne")}).value_or(""), "");
        QVERIFY2(contenido(ruta).endsWith("\nbasura\n2026-12-08T10:15:02-03:00" + QByteArray(",b  c d e").repeated(7)
                                          + '\n'),
                 contenido(ruta).constData());

        QStringList leidos;
        const auto cambio = [&](const Anotacion &c) {
            leidos << c.posicion;
            return true;
        };
        const auto ilegible
            = [&](int linea, const QString &motivo) { leidos << QString::number(linea) + ": " + motivo; };
        QCOMPARE(recorrerBitacora(ruta, {}, cambio, ilegible).value_or(""), "");
        QCOMPARE(leidos,
                 (QStringList{"a", "3: la línea 3 abre unas comillas que no se cierran",
                              "4: la línea 4 tiene 1 campos, no 8", "b  c d e"}));
    }

    // A line longer than 1 MiB is a line that does not read, wherever its end falls;
    // the count of lines goes on after it.
    void lineasLargas_data()
    {
        QTest::addColumn<qint64>("largo");
        QTest::addColumn<bool>("alFinal"); // the last line, without its end
        QTest::addColumn<QStringList>("leidos");
        const QString larga = "3: la línea 3 es más larga que 1 MiB";
        const QString deUnCampo = "3: la línea 3 tiene 1 campos, no 8";
        const QString basura = "5: la línea 5 tiene 1 campos, no 8";
        QTest::newRow("3 MiB") << 3 * kMiB << false << QStringList{"a", larga, "b", basura};
        QTest::newRow("1 MiB justo") << kMiB << false << QStringList{"a", deUnCampo, "b", basura};
        QTest::newRow("1 MiB y un byte") << kMiB + 1 << false << QStringList{"a", larga, "b", basura};
        QTest::newRow("3 MiB sin fin al final") << 3 * kMiB << true << QStringList{"a", larga};
        QTest::newRow("1 MiB justo al final") << kMiB << true << QStringList{"a", deUnCampo};
        QTest::newRow("1 MiB y un byte al final") << kMiB + 1 << true << QStringList{"a", larga};
    }

    void lineasLargas()
    {
        QFETCH(qint64, largo);
        QFETCH(bool, alFinal);
        QFETCH(QStringList, leidos);
        QTemporaryDir dir;
        const QString ruta = dir.filePath("cambios.csv");
        QFile archivo(ruta);
        QVERIFY(archivo.open(QIODevice::WriteOnly));
        // Starting off a block's edge, so that the long line's start shares one.
        archivo.write(lineaCsv(columnasBitacora()).toUtf8() + '\n' + lineaBuena("a"));
        archivo.write(QByteArray(largo, 'x'));
        if (!alFinal)
            archivo.write("\n" + lineaBuena("b") + "basura\n");
        archivo.close();
        QString error;
        QCOMPARE(recorrida(ruta, &error), leidos);
        QCOMPARE(error, QString());
    }

    // A 64 MiB line without an end but the last (as a torn write or a stray file
    // leaves it) is skipped in bounded memory: read in a copy of this program, whose
    // peak memory is then its own.
    void lineaEnormeEnMemoriaAcotada()
    {
        QTemporaryDir dir;
        const QString ruta = dir.filePath("cambios.csv");
        QFile archivo(ruta);
        QVERIFY(archivo.open(QIODevice::WriteOnly));
        archivo.write(lineaCsv(columnasBitacora()).toUtf8() + '\n' + lineaBuena("a"));
        // A hole: 64 MiB of zero bytes that take no disk.
        QVERIFY(archivo.resize(archivo.size() + 64 * kMiB));
        QVERIFY(archivo.seek(archivo.size()));
        archivo.write("\n" + lineaBuena("b"));
        archivo.close();

        QProcess lector;
        QProcessEnvironment entorno = QProcessEnvironment::systemEnvironment();
        entorno.insert(kLector, ruta);
        lector.setProcessEnvironment(entorno);
        lector.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(lector.waitForFinished(60000));
        QCOMPARE(lector.exitCode(), 0);
        const QStringList salida = QString::fromUtf8(lector.readAllStandardOutput()).split(u'\n');
        QCOMPARE(salida.size(), 3);
        bool numero = false;
        const long crecimientoKiB = salida[1].toLong(&numero);
        QVERIFY(numero);
        QVERIFY2(crecimientoKiB < 32 * 1024, qPrintable(salida[1] + " KiB"));
        QCOMPARE(salida[0], "a|3: la línea 3 es más larga que 1 MiB|b|");
    }

    void motivoSinTextoPropio()
    {
        QCOMPARE(motivoDelSistema(EOVERFLOW, Acceso::Lectura),
                 "error del sistema " + QString::number(EOVERFLOW) + " (" + qt_error_string(EOVERFLOW) + ")");
    }

    void noSePuedeEscribir_data()
    {
        QTest::addColumn<QString>("dentro");
        QTest::addColumn<QString>("motivo");
        QTest::newRow("carpeta con el nombre del archivo") << "carpeta/cambios.csv"
                                                           << "es una carpeta, no un archivo";
        QTest::newRow("archivo en vez de carpeta") << "archivo/x/cambios.csv"
                                                   << "una parte de la ruta no es una carpeta";
        QTest::newRow("carpeta de solo lectura") << "solo-lectura/cambios.csv"
                                                 << "no hay permiso para escribir";
        QTest::newRow("dispositivo") << "/dev/full"
                                     << "no es un archivo común";
    }

    void noSePuedeEscribir()
    {
        QFETCH(QString, dentro);
        QFETCH(QString, motivo);
        if (dentro.startsWith(u"solo") && ::geteuid() == 0)
            QSKIP("root writes in read-only folders");
        if (dentro.startsWith(u'/') && !QFileInfo::exists(dentro))
            QSKIP("no /dev/full here");
        QTemporaryDir dir;
        QDir(dir.path()).mkpath("carpeta/cambios.csv");
        QFile(dir.filePath("archivo")).open(QIODevice::WriteOnly);
        QDir(dir.path()).mkdir("solo-lectura");
        QFile::setPermissions(dir.filePath("solo-lectura"), QFile::ReadOwner | QFile::ExeOwner);

        const QString ruta = dentro.startsWith(u'/') ? dentro : dir.filePath(dentro);
        QCOMPARE(anotarEn(ruta, {cambioDePrueba("07")}).value_or("(sin fallo)"), motivo);
    }
};

int main(int argc, char *argv[])
{
    QCoreApplication aplicacion(argc, argv);
    const QString escritor = qEnvironmentVariable(kEscritor);
    if (!escritor.isEmpty())
        return escribir(escritor.section(u'|', 0, -2), escritor.section(u'|', -1));
    if (const QString lector = qEnvironmentVariable(kLector); !lector.isEmpty())
        return leerYMedir(lector);
    TstBitacora prueba;
    return QTest::qExec(&prueba, argc, argv);
}

#include "tst_bitacora.moc"
