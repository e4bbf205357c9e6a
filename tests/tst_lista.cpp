// SPDX-License-Identifier: GPL-3.0-or-later
// The official list's import and index: what an import keeps and finds, the zip,
// bad input leaving the list in use as it was, and the commands lista and buscar
// in-process. The import under kill -9 and two at once run the real program.

#include "ListaDePrueba.h"
#include "cli/Linea.h"
#include "cli/Ordenes.h"
#include "lista/Importacion.h"
#include "lista/Indice.h"

#include <QCryptographicHash>
#include <QProcess>
#include <QtTest>

#include <csignal>
#include <sys/file.h>

using namespace lista_de_prueba;

namespace {

QStringList posiciones(const std::vector<Partida> &partidas)
{
    QStringList p;
    for (const Partida &x : partidas)
        p << x.posicion;
    return p;
}

QByteArray sha(const QByteArray &datos) { return QCryptographicHash::hash(datos, QCryptographicHash::Sha256).toHex(); }

// A list of `n` positions under their headings, about 150 bytes a line.
QByteArray listaGrande(int n, const QString &texto)
{
    QByteArray datos;
    for (int i = 0; i < n; ++i) {
        const QString base = QStringLiteral("%1.%2.%3").arg(1000 + i / 100).arg(i % 100, 2, 10, QChar(u'0')).arg("00");
        if (i % 100 == 0)
            datos += linea(base.left(4), "", "CAPÍTULO de " + texto) + '\n';
        const QString posicion = base + QStringLiteral(".000");
        const QChar letra = letraDeControl(posicion).value_or(u'A');
        datos += linea(posicion + letra, "01", "-Artículo número " + QString::number(i) + " de " + texto, i % 2) + '\n';
    }
    return datos;
}

} // namespace

class TstLista : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir;
    QString destino;

    QString archivo(const QString &nombre, const QByteArray &datos)
    {
        const QString ruta = dir->filePath(nombre);
        escribir(ruta, datos);
        return ruta;
    }

    struct Corrida {
        int estado;
        QString salida;
        QString error;
    };

    Corrida correr(const QStringList &argumentos)
    {
        DestinoEnMemoria salida;
        DestinoEnMemoria errores;
        Contexto contexto(salida, errores);
        Corrida c;
        c.estado = ejecutarOrdenes(contexto, QStringList{"telquin"} + argumentos, ::ordenes());
        c.salida = QString::fromUtf8(salida.texto);
        c.error = QString::fromUtf8(errores.texto);
        return c;
    }

private slots:
    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        qputenv("XDG_DATA_HOME", dir->filePath("datos").toUtf8());
        qputenv("XDG_DATA_DIRS", dir->filePath("sistema").toUtf8());
        destino = rutaPropiaDeLaLista();
    }

    void importaYEncuentra()
    {
        const QByteArray datos = listaChica() + "2@basura\n" + linea("5408.22.00.111", "", "torn");
        const QString ruta = archivo("nomenclador_14062026.txt", datos);
        const Importada i = importarLista(ruta, destino);
        QCOMPARE(i.datos.posiciones, 7);
        QCOMPARE(i.datos.encabezados, 6 + 1); // the last line, torn after its code, is a heading
        QCOMPARE(i.datos.otrosTipos, 1);
        QCOMPARE(i.datos.ilegibles, 1);
        QCOMPARE(i.ilegibles, QList<qint64>{15});
        QCOMPARE(i.datos.letrasDistintas, 1); // 8901.20.00.000B: the rule gives A
        QCOMPARE(i.datos.unidadesDesconocidas, 1); // 77
        QCOMPARE(i.datos.fecha, QDate(2026, 6, 14));
        QCOMPARE(i.datos.sha256.toLatin1(), sha(datos));

        const auto lista = ListaOficial::enUso();
        QVERIFY(lista);
        QCOMPARE(lista->datos().sha256, i.datos.sha256);
        QCOMPARE(lista->datos().ruta, destino);
        const auto p = lista->partida("5408.22.00.119Y");
        QVERIFY(p);
        QCOMPARE(
            p->descripcionCompleta(),
            QString("TEJIDOS DE HILADOS DE FILAMENTOS ARTIFICIALES. › Los demás tejidos, teñidos o no: › Teñidos › "
                    "De filamentos de acetato › Las dem?s"));
        QVERIFY(!lista->partida("5408.22.00.119Z"));

        // Accents and case aside, a word's start, the headings' words.
        QCOMPARE(posiciones(lista->buscar("TENIDOS densidad", 20)), QStringList{"5408.22.00.111F"});
        // The shorter text ranks first: its match weighs more.
        QCOMPARE(posiciones(lista->buscar("mercancias", 20)), (QStringList{"8901.20.00.000B", "8901.10.00.000L"}));
        QCOMPARE(posiciones(lista->buscar("crucero", 20)), QStringList{"8901.10.00.000L"});
        QCOMPARE(lista->buscar("sacos", 1).size(), std::size_t(1));
        // Words that would be FTS5's syntax are words.
        for (const char *hostilLatin1 :
             {"\"", "OR", "sacos OR barcos", "NEAR(sacos", "*", "-sacos", "a:b", "^x", "(", "'"}) {
            const QString hostil = QString::fromLatin1(hostilLatin1);
            QVERIFY2(lista->buscar(hostil, 20).empty() || hostil.contains("sacos"), qPrintable(hostil));
        }
        QCOMPARE(posiciones(lista->buscar("\"sacos\"", 20)), (QStringList{"6305.10.00.100J", "6305.90.00.000R"}));

        QCOMPARE(posiciones(lista->bajo("5408.22.00.1", 20)), (QStringList{"5408.22.00.111F", "5408.22.00.119Y"}));
        QCOMPARE(posiciones(lista->bajo("63", 1)), QStringList{"6305.10.00.100J"});
        QStringList recorridas;
        lista->recorrer(
            [&](const QString &posicion, const QString &unidad) { recorridas << posicion + u' ' + unidad; });
        QCOMPARE(recorridas.size(), 7);
        QCOMPARE(recorridas.front(), QString("5408.22.00.111F 01"));
        QCOMPARE(recorridas.back(), QString("8901.20.00.000B 07"));
    }

    // The zip as published: its member nomenclador*.txt, in any case and folder.
    void zip_data()
    {
        QTest::addColumn<QStringList>("miembros");
        QTest::addColumn<QString>("error"); // empty: imported
        QTest::newRow("uno") << QStringList{"capitulos.txt", "arancel/NOMENCLADOR_14062026.TXT"} << "";
        QTest::newRow("ninguno") << QStringList{
            "capitulos.txt",
            "sufijos.txt"} << "el zip no tiene ningún archivo nomenclador*.txt; tiene: capitulos.txt, sufijos.txt";
        QTest::newRow("dos") << QStringList{"nomenclador_1.txt", "nomenclador_2.txt"}
                             << "el zip tiene más de un archivo nomenclador*.txt: nomenclador_1.txt, nomenclador_2.txt";
        QTest::newRow("el archivo equivocado") << QStringList{"nomenclador.txt"} << "no tiene ninguna posición";
    }

    void zip()
    {
        QFETCH(QStringList, miembros);
        QFETCH(QString, error);
        QList<std::pair<QString, QByteArray>> contenido;
        for (const QString &m : miembros)
            contenido.append({m, m.contains("14062026") ? listaChica("\n") : QByteArray("1@01@CAPITULO\n")});
        const QString ruta = dir->filePath("arancel.zip");
        escribirZip(ruta, contenido);
        try {
            const Importada i = importarLista(ruta, destino);
            QVERIFY2(error.isEmpty(), qPrintable(error));
            QCOMPARE(i.datos.archivo, QString("NOMENCLADOR_14062026.TXT"));
            QCOMPARE(i.datos.sha256.toLatin1(), sha(listaChica("\n")));
            QCOMPARE(i.datos.fecha, QDate(2026, 6, 14));
        } catch (const ErrorDeLista &e) {
            QVERIFY2(!error.isEmpty() && e.mensaje().contains(error), qPrintable(e.mensaje()));
        }
    }

    // What cannot be imported says why and leaves the list in use as it was.
    void entradaMala_data()
    {
        QTest::addColumn<QString>("nombre");
        QTest::addColumn<QString>("error");
        QTest::newRow("carpeta") << "carpeta"
                                 << "es una carpeta, no un archivo";
        QTest::newRow("no existe") << "no-existe.txt"
                                   << "no se puede leer el archivo";
        QTest::newRow("vacio") << "vacio.txt"
                               << "no tiene ninguna posición de la lista";
        QTest::newRow("binario") << "binario.txt"
                                 << "no tiene ninguna posición de la lista";
        QTest::newRow("demasiado grande") << "grande.txt"
                                          << "supera los 256 MiB";
        QTest::newRow("zip roto") << "roto.zip"
                                  << "no se puede leer el zip";
    }

    void entradaMala()
    {
        QFETCH(QString, nombre);
        QFETCH(QString, error);
        const Importada antes = importarLista(archivo("nomenclador_01012026.txt", listaChica()), destino);
        QVERIFY(QDir().mkpath(dir->filePath("carpeta")));
        escribir(dir->filePath("vacio.txt"), {});
        escribir(dir->filePath("binario.txt"), QByteArray(4096, '\0') + "\x89\xff@@\n");
        escribir(dir->filePath("roto.zip"), QByteArray("PK\x03\x04") + QByteArray(100, 'x'));
        QFile grande(dir->filePath("grande.txt"));
        QVERIFY(grande.open(QIODevice::WriteOnly) && grande.resize(kListaMaxima + 1));
        grande.close();
        try {
            (void)importarLista(dir->filePath(nombre), destino);
            QFAIL("se importó");
        } catch (const ErrorDeLista &e) {
            QVERIFY2(e.mensaje().contains(error), qPrintable(e.mensaje()));
        }
        QCOMPARE(ListaOficial::abrir(destino)->datos().sha256, antes.datos.sha256);
        QCOMPARE(QDir(QFileInfo(destino).path()).entryList(QDir::Files | QDir::Hidden), QStringList{"lista.sqlite"});
    }

    void interrumpida()
    {
        const Importada antes = importarLista(archivo("nomenclador_01012026.txt", listaChica()), destino);
        SeguimientoDeImportacion seguimiento;
        seguimiento.interrumpir = [] { return true; };
        QVERIFY_THROWS_EXCEPTION(
            ImportacionInterrumpida,
            (void)importarLista(archivo("n.txt", listaGrande(5000, "otra")), destino, seguimiento));
        QCOMPARE(ListaOficial::abrir(destino)->datos().sha256, antes.datos.sha256);
        QCOMPARE(QDir(QFileInfo(destino).path()).entryList(QDir::Files | QDir::Hidden), QStringList{"lista.sqlite"});
    }

    // What a killed import left is removed by the next one; a file an import still
    // holds is not, however old.
    void abandonados()
    {
        const QString carpeta = QFileInfo(destino).path();
        QVERIFY(QDir().mkpath(carpeta));
        const QString suelto = carpeta + "/.lista-suelto";
        const QString tomado = carpeta + "/.lista-tomado";
        escribir(suelto, "x");
        escribir(tomado, "x");
        const QDateTime antes = QDateTime::currentDateTime().addSecs(-3600);
        for (const QString &ruta : {suelto, tomado}) {
            QFile f(ruta);
            QVERIFY(f.open(QIODevice::ReadWrite) && f.setFileTime(antes, QFileDevice::FileModificationTime));
        }
        QFile abierto(tomado);
        QVERIFY(abierto.open(QIODevice::ReadOnly) && ::flock(abierto.handle(), LOCK_EX) == 0);
        (void)importarLista(archivo("nomenclador_01012026.txt", listaChica()), destino);
        QVERIFY(!QFile::exists(suelto));
        QVERIFY(QFile::exists(tomado));
    }

    // The list in use: the user's, else the first under XDG_DATA_DIRS.
    void enUso()
    {
        QVERIFY(!ListaOficial::enUso());
        const QString delSistema = dir->filePath("sistema/telquin/lista.sqlite");
        (void)importarLista(archivo("nomenclador_01012026.txt", listaChica()), delSistema);
        QCOMPARE(ListaOficial::enUso()->datos().ruta, delSistema);
        (void)importarLista(archivo("nomenclador_02012026.txt", listaChica()), destino);
        QCOMPARE(ListaOficial::enUso()->datos().ruta, destino);
        escribir(destino, "no es un índice");
        QVERIFY_THROWS_EXCEPTION(ErrorDeLista, (void)ListaOficial::enUso());
    }

    void ordenes()
    {
        Corrida c = correr({"lista"});
        QCOMPARE(c.estado, 1);
        QVERIFY2(c.error.contains("telquin lista importar ARCHIVO"), qPrintable(c.error));
        c = correr({"buscar", "sacos"});
        QCOMPARE(c.estado, 2);
        QVERIFY2(c.error.contains("telquin lista importar ARCHIVO"), qPrintable(c.error));
        c = correr({"lista", "importar", dir->path()});
        QCOMPARE(c.estado, 2);
        QVERIFY2(c.error.endsWith("es una carpeta, no un archivo. La lista en uso no cambió.\n"), qPrintable(c.error));

        c = correr({"lista", "importar", archivo("nomenclador_14062026.txt", listaChica() + "basura\n")});
        QCOMPARE(c.estado, 0);
        QVERIFY2(c.salida.startsWith("fecha\t14/06/2026\narchivo\tnomenclador_14062026.txt\n"), qPrintable(c.salida));
        QVERIFY2(c.salida.contains("\nposiciones\t7\nencabezados\t6\n"), qPrintable(c.salida));
        QVERIFY2(c.salida.endsWith("\nindice\t" + destino + "\n"), qPrintable(c.salida));
        QCOMPARE(c.error,
                 QString("telquin: 1 línea no se pudo leer: la 15.\n"
                         "telquin: 1 posiciones tienen una letra de control que no es la que dan sus dígitos.\n"
                         "telquin: 1 posiciones tienen una unidad que no está en la tabla de unidades "
                         "oficiales.\n"));
        QCOMPARE(correr({"lista"}).salida, c.salida);

        c = correr({"buscar", "yute", "bruto"});
        QCOMPARE(c.estado, 0);
        QCOMPARE(c.salida,
                 QString("6305.10.00.100J\t01\tKILOGRAMO\tSACOS (BOLSAS) Y TALEGAS, PARA ENVASAR. › De yute "
                         "«en bruto»\n"));
        c = correr({"buscar", "6305.90.00.000r"});
        QCOMPARE(c.salida,
                 QString("6305.90.00.000R\t77\tcódigo no oficial\tSACOS (BOLSAS) Y TALEGAS, PARA ENVASAR. › "
                         "De las demás materias\n"));
        c = correr({"buscar", "54.08", "--max", "2"});
        QCOMPARE(c.salida.count(u'\n'), 2);
        QCOMPARE(c.error, QString("telquin: Hay más posiciones; --max N muestra hasta N.\n"));
        c = correr({"buscar", "ballenas"});
        QCOMPARE(c.estado, 1);
        QCOMPARE(c.salida, QString());
        QCOMPARE(correr({"buscar", "sacos", "--max", "0"}).estado, 2);
    }

    // kill -9 at any moment of an import leaves the previous list whole and in use.
    void killMenos9()
    {
        const Importada antes = importarLista(archivo("nomenclador_01012026.txt", listaChica()), destino);
        const QString grande = archivo("nomenclador_02012026.txt", listaGrande(150000, "grande"));
        int cortadas = 0;
        for (const int ms : {20, 150, 400, 800, 1500}) {
            QProcess p;
            p.start(TELQUIN_PROGRAMA, {"lista", "importar", grande});
            QVERIFY(p.waitForStarted());
            const qint64 pid = p.processId();
            QTest::qWait(ms);
            const bool terminada = p.state() == QProcess::NotRunning;
            // A finished process has no id any more: kill(0) would kill this test's group.
            if (!terminada)
                ::kill(pid_t(pid), SIGKILL);
            p.waitForFinished();
            const auto lista = ListaOficial::abrir(destino);
            if (terminada || lista->datos().sha256 != antes.datos.sha256) {
                // It was done before the kill: the new list, whole.
                QCOMPARE(lista->datos().posiciones, 150000);
                QCOMPARE(lista->bajo("1499", 1000).size(), std::size_t(100));
                break;
            }
            ++cortadas;
            QCOMPARE(lista->datos().posiciones, antes.datos.posiciones);
            QCOMPARE(posiciones(lista->buscar("sacos", 20)), (QStringList{"6305.10.00.100J", "6305.90.00.000R"}));
        }
        // At least one kill came in the middle of the import.
        QVERIFY(cortadas > 0);
    }

    // Two imports at once: each writes its own file, and the list in use is one of
    // them, whole.
    void dosALaVez()
    {
        const QByteArray a = listaGrande(40000, "alfa");
        const QByteArray b = listaGrande(30000, "beta");
        QProcess pa;
        QProcess pb;
        pa.start(TELQUIN_PROGRAMA, {"lista", "importar", archivo("nomenclador_01012026.txt", a)});
        pb.start(TELQUIN_PROGRAMA, {"lista", "importar", archivo("nomenclador_02012026.txt", b)});
        QVERIFY(pa.waitForFinished(60000) && pb.waitForFinished(60000));
        QCOMPARE(pa.exitCode(), 0);
        QCOMPARE(pb.exitCode(), 0);
        const auto lista = ListaOficial::abrir(destino);
        const bool esA = lista->datos().sha256.toLatin1() == sha(a);
        QVERIFY(esA || lista->datos().sha256.toLatin1() == sha(b));
        QCOMPARE(lista->datos().posiciones, esA ? 40000 : 30000);
        QCOMPARE(lista->buscar(esA ? "alfa" : "beta", 50000).size(), std::size_t(esA ? 40000 : 30000));
        QCOMPARE(QDir(QFileInfo(destino).path()).entryList(QDir::Files | QDir::Hidden), QStringList{"lista.sqlite"});
    }
};

QTEST_GUILESS_MAIN(TstLista)
#include "tst_lista.moc"
