// SPDX-License-Identifier: GPL-3.0-or-later
// telquin conciliar in-process, on the database TELQUIN_TEST_DB chooses (see
// BaseDePrueba.h), against a list held in memory made from the sample table: the three
// classes, the host's component that has only the contract, and the batch it writes
// applied by lote --aplicar.

#include "BaseDePrueba.h"
#include "ListaDePrueba.h"
#include "ListaEnMemoria.h"
#include "cli/Linea.h"
#include "cli/Ordenes.h"
#include "dam/ComponenteDAM.h"
#include "lista/Importacion.h"

#include <QtTest>

namespace {

struct Corrida {
    int estado = -1;
    QString salida;
    QString error;
};

// The contract and nothing more, as a host's component may be: no chunks, no
// transactions, one row of a query at a time.
class SoloContrato final : public Componente {
public:
    void loadparameters() override { c_.loadparameters(); }
    std::unique_ptr<Conexion> getDataConnectionByEntity(const QString &e) override
    {
        return c_.getDataConnectionByEntity(e);
    }

private:
    ComponenteDAM c_;
};

const QString kCuentasDeTresClases
    = QStringLiteral("unidad distinta: 2\tno figura en la lista: 1\tfalta en la tabla: 1\n");

} // namespace

class TstConciliar : public QObject {
    Q_OBJECT

    std::unique_ptr<BaseDePrueba> base;
    QTemporaryDir dir;

    // The list as the table is now: each row's position with its unit.
    std::vector<Partida> comoLaTabla()
    {
        std::vector<Partida> partidas;
        for (const QString &fila : base->filas()) {
            const QStringList c = fila.split(u'|');
            partidas.push_back({c[0] + u'.' + c[1] + c[2], c[3] == "<null>" ? QString() : c[3], {}, {}});
        }
        return partidas;
    }

    // The sample's list with a difference of each class, and two rows that agree
    // although they look otherwise.
    std::vector<Partida> conTresClases()
    {
        base->ejecutar(R"(UPDATE NCM SET "012" = NULL WHERE "001" = '4011.10.00')");
        std::vector<Partida> partidas;
        for (Partida &p : comoLaTabla()) {
            if (p.posicion == "0101.21.00.100X") // no figura en la lista
                continue;
            if (p.posicion == "8901.10.00.000L" || p.posicion == "4011.10.00.000N") // unidad distinta
                p.unidad = "01";
            if (p.posicion == "2204.21.00.100A") // no official unit: nothing to differ from
                p.unidad.clear();
            partidas.push_back(p);
        }
        partidas.push_back({"9999.10.00.000A", "01", {}, {}}); // falta en la tabla
        return partidas;
    }

    Corrida correr(const QStringList &argumentos, std::vector<Partida> partidas,
                   const std::function<void(Contexto &)> &ajustar = {})
    {
        qputenv("DAM_DATABASE_URL", base->url().toUtf8());
        qputenv("XDG_STATE_HOME", dir.filePath("estado").toUtf8());
        DestinoEnMemoria salida;
        DestinoEnMemoria errores;
        Contexto contexto(salida, errores);
        contexto.lista = [partidas] { return std::make_unique<ListaEnMemoria>(partidas); };
        if (ajustar)
            ajustar(contexto);
        Corrida c;
        c.estado = ejecutarOrdenes(contexto, QStringList{"telquin"} + argumentos, ordenes());
        c.salida = QString::fromUtf8(salida.texto);
        c.error = QString::fromUtf8(errores.texto);
        return c;
    }

private slots:
    void initTestCase() { registrarComponenteDAM(); }
    void init() { base = std::make_unique<BaseDePrueba>(); }
    void cleanup() { base.reset(); }

    void tresClases_data()
    {
        QTest::addColumn<bool>("porFila");
        QTest::newRow("en bloques") << false;
        QTest::newRow("fila por fila") << true;
    }

    void tresClases()
    {
        QFETCH(bool, porFila);
        qputenv("TELQUIN_LOTE_POR_FILA", porFila ? "1" : "0");
        const Corrida c = correr({"conciliar"}, conTresClases());
        qunsetenv("TELQUIN_LOTE_POR_FILA");
        QCOMPARE(c.salida,
                 QString("no figura en la lista\t0101.21.00.100X\t09\t\n"
                         "unidad distinta\t4011.10.00.000N\t\t01\n"
                         "unidad distinta\t8901.10.00.000L\t07\t01\n"
                         "falta en la tabla\t9999.10.00.000A\t\t01\n"));
        QCOMPARE(c.error, kCuentasDeTresClases);
        QCOMPARE(c.estado, estado::kProblemaDeDatos);
    }

    // A host's component is looked up one position at a time, and cannot list its
    // table: the first and third classes, and a note that the second was not looked for.
    void componenteDelAnfitrion()
    {
        const Corrida c = correr({"conciliar"}, conTresClases(), [](Contexto &x) {
            x.componente = [] {
                auto componente = std::make_unique<SoloContrato>();
                componente->loadparameters();
                return componente;
            };
        });
        QCOMPARE(c.salida,
                 QString("unidad distinta\t4011.10.00.000N\t\t01\n"
                         "unidad distinta\t8901.10.00.000L\t07\t01\n"
                         "falta en la tabla\t9999.10.00.000A\t\t01\n"));
        QVERIFY2(c.error.startsWith("unidad distinta: 2\tno figura en la lista: 0\tfalta en la tabla: 1\n"
                                    "telquin: el componente de datos no da todas las filas de una consulta: no se "
                                    "buscaron las filas de la tabla que no figuran en la lista."),
                 qPrintable(c.error));
        QCOMPARE(c.estado, estado::kProblemaDeDatos);
    }

    // A list update: reconcile writing the batch, apply it, reconcile again.
    void loteAplicadoYDeNuevo()
    {
        std::vector<Partida> lista = comoLaTabla();
        for (Partida &p : lista)
            if (p.posicion == "8901.10.00.000L" || p.posicion == "0201.10.00.000W")
                p.unidad = "05";
        const QString ruta = dir.filePath("conciliar.csv");
        const Corrida primera = correr({"conciliar", "--lote", ruta}, lista);
        QCOMPARE(primera.estado, estado::kProblemaDeDatos);
        QFile archivo(ruta);
        QVERIFY(archivo.open(QIODevice::ReadOnly));
        QCOMPARE(archivo.readAll(), QByteArray("posicion;unidad\n0201.10.00.000W;05\n8901.10.00.000L;05\n"));

        const Corrida aplicada = correr({"lote", ruta, "--aplicar"}, lista);
        QVERIFY2(aplicada.estado == estado::kHecho, qPrintable(aplicada.error));
        QCOMPARE(base->unidadDe("8901.10.00.000L"), QString("05"));

        const Corrida segunda = correr({"conciliar"}, lista);
        QCOMPARE(segunda.salida, QString());
        QCOMPARE(segunda.error, QString("unidad distinta: 0\tno figura en la lista: 0\tfalta en la tabla: 0\n"));
        QCOMPARE(segunda.estado, estado::kHecho);
    }

    // The index as lista importar writes it, from a list in the published format.
    void conElIndiceReal()
    {
        const QString texto = dir.filePath("nomenclador_14062026.txt");
        lista_de_prueba::escribir(texto, lista_de_prueba::listaChica());
        const QString indice = dir.filePath("lista.sqlite");
        (void)importarLista(texto, indice);
        base->ejecutar(R"(UPDATE NCM SET "012" = '05' WHERE "001" = '8901.10.00')");
        const Corrida c
            = correr({"conciliar"}, {}, [&](Contexto &x) { x.lista = [&] { return ListaOficial::abrir(indice); }; });
        QStringList lineas = c.salida.split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lineas.size(), 36 + 6);
        lineas.removeIf([](const QString &l) { return l.startsWith("no figura en la lista\t"); });
        QCOMPARE(lineas,
                 (QStringList{"falta en la tabla\t5408.22.00.111F\t\t01", "falta en la tabla\t5408.22.00.119Y\t\t01",
                              "falta en la tabla\t5408.22.00.900U\t\t01", "falta en la tabla\t6305.10.00.100J\t\t01",
                              "falta en la tabla\t6305.90.00.000R\t\t77", "unidad distinta\t8901.10.00.000L\t05\t07",
                              "falta en la tabla\t8901.20.00.000B\t\t07"}));
        QCOMPARE(c.error, QString("unidad distinta: 1\tno figura en la lista: 35\tfalta en la tabla: 6\n"));
    }

    // A unit column of integers holds 7 for "07": the same code, no difference.
    void columnaDeEnteros()
    {
        const std::vector<Partida> lista = comoLaTabla();
        base->recrearConColumna("\"012\" INTEGER", "CAST(\"012\" AS INTEGER)");
        const Corrida c = correr({"conciliar"}, lista);
        QCOMPARE(c.salida, QString());
        QCOMPARE(c.estado, estado::kHecho);
    }

    void sinListaOSinLote_data()
    {
        QTest::addColumn<bool>("conLista");
        QTest::addColumn<bool>("listaIlegible");
        QTest::addColumn<QString>("lote");
        QTest::addColumn<QString>("mensaje");
        QTest::newRow("ninguna lista")
            << false << false << QString()
            << "telquin: No hay ninguna lista oficial importada. Impórtela con: telquin lista importar "
               "ARCHIVO\n";
        QTest::newRow("lista ilegible") << true << true << QString()
                                        << "telquin: El índice de la lista oficial está dañado (prueba).\n";
        QTest::newRow("lote en una carpeta que no existe")
            << true << false << "/no/existe/lote.csv"
            << "telquin: no se puede escribir el lote /no/existe/lote.csv";
    }

    void sinListaOSinLote()
    {
        QFETCH(bool, conLista);
        QFETCH(bool, listaIlegible);
        QFETCH(QString, lote);
        QFETCH(QString, mensaje);
        const QStringList argumentos
            = lote.isEmpty() ? QStringList{"conciliar"} : QStringList{"conciliar", "--lote", lote};
        const Corrida c = correr(argumentos, comoLaTabla(), [&](Contexto &x) {
            x.componente = []() -> std::unique_ptr<Componente> { throw ErrorComponente("no debía abrirse"); };
            if (!conLista)
                x.lista = [] { return nullptr; };
            else if (listaIlegible)
                x.lista = []() -> std::unique_ptr<ListaOficial> {
                    throw ErrorDeLista("El índice de la lista oficial está dañado (prueba).");
                };
        });
        QCOMPARE(c.estado, estado::kUso);
        QVERIFY2(c.error.startsWith(mensaje), qPrintable(c.error));
        QCOMPARE(c.salida, QString());
    }
};

QTEST_MAIN(TstConciliar)
#include "tst_conciliar.moc"
