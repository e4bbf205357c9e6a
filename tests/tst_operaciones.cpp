// SPDX-License-Identifier: GPL-3.0-or-later
// What the window and the command line both do, in-process: one change and its undo
// with the recording component; the batch on the database TELQUIN_TEST_DB chooses
// (see BaseDePrueba.h).

#include "BaseDePrueba.h"
#include "ComponenteGrabador.h"
#include "LecturaDeBitacora.h"
#include "dam/ComponenteDAM.h"
#include "data/Clases.h"
#include "operaciones/Cambio.h"
#include "operaciones/Lote.h"

#include <QtTest>

class TstOperaciones : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> estado;

    QString rutaDeBitacora() const { return estado->filePath("telquin/cambios.csv"); }

    // Lines of the journal as "posicion anterior nueva origen".
    QStringList bitacora() const
    {
        QString error;
        QStringList lineas;
        for (const Anotacion &a : leerBitacora(rutaDeBitacora(), {}, &error))
            lineas << QStringList{a.posicion, a.anterior, a.nueva, a.origen}.join(u' ');
        if (!error.isEmpty())
            lineas << "error: " + error;
        return lineas;
    }

    // A batch on a fresh copy of the sample table, through the bundled component.
    struct Lote {
        std::unique_ptr<BaseDePrueba> base = std::make_unique<BaseDePrueba>();
        std::unique_ptr<Componente> oDAM;

        Lote()
        {
            qputenv("DAM_DATABASE_URL", base->url().toUtf8());
            oDAM = CrearObjeto(kClaseDAM);
            oDAM->loadparameters();
        }

        ResultadoLote procesar(const QByteArray &datos, OpcionesDeLote opciones, const Seguimiento &s = {})
        {
            const ArchivoLote archivo = leerLote(datos);
            if (!archivo.error.isEmpty())
                qFatal("lote ilegible: %s", qPrintable(archivo.error));
            return procesarLote(*oDAM, archivo.filas, opciones, s);
        }
    };

    // A row's outcome as the command line writes it.
    static QStringList lineas(const ResultadoLote &r)
    {
        QStringList salida;
        for (const Revision &rev : r.revisiones)
            salida << QStringList{QString::number(rev.linea),       rev.posicion, rev.actual, rev.nueva,
                                  nombreDeResultado(rev.resultado), rev.nota}
                          .join(u'\t');
        return salida;
    }

private slots:
    void initTestCase() { registrarComponenteDAM(); }

    void init()
    {
        estado = std::make_unique<QTemporaryDir>();
        qputenv("XDG_STATE_HOME", estado->path().toUtf8());
        ComponenteGrabador::llamadas().clear();
    }

    void cleanup()
    {
        qunsetenv("XDG_STATE_HOME");
        qunsetenv("DAM_DATABASE_URL");
    }

    // Noted only when stored; a journal that cannot be written leaves the change
    // stored and says so.
    void cambioGuardadoYAnotado_data()
    {
        QTest::addColumn<QVariant>("filas"); // what the component answers to the update
        QTest::addColumn<bool>("bitacoraRota");
        QTest::addColumn<bool>("guardado");
        QTest::addColumn<QStringList>("lineas");
        QTest::addColumn<bool>("aviso");
        QTest::newRow("guardado") << QVariant(1) << false << true << QStringList{"8901.10.00.000L 07 05 ventana"}
                                  << false;
        QTest::newRow("ninguna fila") << QVariant(0) << false << false << QStringList() << false;
        QTest::newRow("respuesta que no es número") << QVariant("?") << false << false << QStringList() << false;
        QTest::newRow("registro que no se escribe") << QVariant(1) << true << true << QStringList() << true;
    }

    void cambioGuardadoYAnotado()
    {
        QFETCH(QVariant, filas);
        QFETCH(bool, bitacoraRota);
        QFETCH(bool, guardado);
        QFETCH(QStringList, lineas);
        QFETCH(bool, aviso);
        if (bitacoraRota)
            QVERIFY(QDir(estado->path()).mkpath("telquin/cambios.csv")); // a folder where the file should be
        GuionGrabador guion;
        guion.respuestaEjecutar = filas;
        ComponenteGrabador oDAM(guion);
        const ResultadoCambio r = guardarCambio(oDAM, "8901.10.00.000L", "07", "05", "ventana");
        QCOMPARE(r.guardado(), guardado);
        QCOMPARE(r.avisoBitacora.has_value(), aviso);
        if (aviso)
            QVERIFY2(r.avisoBitacora->contains(rutaDeBitacora()), qPrintable(*r.avisoBitacora));
        if (!bitacoraRota)
            QCOMPARE(bitacora(), lineas);
        QCOMPARE(ComponenteGrabador::llamadas().filter("Ejecutar").size(), 1);
    }

    // The undo puts the previous unit back only while the row holds what was stored,
    // and is noted the other way round.
    void deshacerAnotaAlReves()
    {
        ComponenteGrabador oDAM;
        const ResultadoCambio r = deshacerCambio(oDAM, "8901.10.00.000L", std::nullopt, "05");
        QVERIFY(r.guardado());
        QCOMPARE(bitacora(), QStringList{"8901.10.00.000L 05  deshacer"});
        const QStringList ejecutadas = ComponenteGrabador::llamadas().filter("Ejecutar");
        QCOMPARE(ejecutadas.size(), 1);
        QVERIFY2(ejecutadas.front().endsWith("SET [012] = NULL WHERE  [001] = '8901.10.00' AND  [002] = '000' AND  "
                                             "[003] = 'L' AND  [012] = '05'"),
                 qPrintable(ejecutadas.front()));
    }

    void loteSinTransaccionesNoSeAplica()
    {
        ComponenteGrabador oDAM;
        OpcionesDeLote aplicar;
        aplicar.aplicar = true;
        const ResultadoLote r = procesarLote(oDAM, leerLote("8901.10.00.000L,05\n").filas, aplicar);
        QCOMPARE(r.fin, FinDeLote::SinTransacciones);
        QVERIFY(ComponenteGrabador::llamadas().filter("NCM").isEmpty());
    }

    void loteConTodosLosResultados()
    {
        Lote lote;
        const QByteArray datos = "\xEF\xBB\xBFPosición;Unidad\n"
                                 "8901.10.00.000L;5\n"
                                 "0101.21.00.100W;09\n"
                                 "8901.10.00.000M;07\n"
                                 "8901.10.00.000;07\n"
                                 "0201.10.00.000W;\"1'; DELETE FROM NCM; --\"\n"
                                 "0302.11.10.000T;03\n"
                                 "\n"
                                 "0302.11.10.000T;4\n"
                                 "8901.10.00.0'-L;99\n"
                                 "8901.10.00.00\\L;99\n"
                                 "\"0401.10.10.000U\";\"05' WHERE 1=1 --\"\n"
                                 "8901.10.00.000L' OR 1=1 --;05\n"
                                 "7013.37.00.000N;07;x\n"
                                 "0702.00.00.000H;\"2\"\n"
                                 "0702.00.00.000H;02\n";
        const QStringList esperadas = {
            "2\t8901.10.00.000L\t07\t05\tcambia\t",
            "3\t0101.21.00.100W\t09\t09\tigual\t",
            "4\t8901.10.00.000M\t\t07\tno encontrada\tLa letra de control debería ser L",
            "5\t8901.10.00.000\t\t07\tformato incorrecto\t",
            "6\t0201.10.00.000W\t01\t1'; DELETE FROM NCM; --\tunidad incorrecta\t",
            "7\t0302.11.10.000T\t01\t03\trepetida\t",
            "9\t0302.11.10.000T\t01\t04\trepetida\t",
            "10\t8901.10.00.0'-L\t\t99\tno encontrada\t",
            "11\t8901.10.00.00\\L\t\t99\tno encontrada\t",
            "12\t0401.10.10.000U\t05\t05' WHERE 1=1 --\tunidad incorrecta\t",
            "13\t8901.10.00.000L' OR 1=1 --\t\t05\tformato incorrecto\t",
            "14\t7013.37.00.000N\t\t07\tformato incorrecto\t",
            "15\t0702.00.00.000H\t01\t02\tcambia\t",
            "16\t0702.00.00.000H\t01\t02\tcambia\t",
        };
        const QStringList antes = lote.base->filas();

        ResultadoLote r = lote.procesar(datos, {false});
        QCOMPARE(r.fin, FinDeLote::Revisado);
        QCOMPARE(lineas(r), esperadas);
        QCOMPARE(r.errores, 10);

        r = lote.procesar(datos, {true});
        QCOMPARE(r.fin, FinDeLote::ConErrores);
        QCOMPARE(lineas(r), esperadas);
        QCOMPARE(lote.base->filas(), antes);
        QCOMPARE(bitacora(), QStringList());
    }

    void loteQueFallaAMitad()
    {
        Lote lote;
        BaseDePrueba &base = *lote.base;
        const QByteArray datos = base.filasExtra(6000);
        if (base.esSqlite()) {
            base.ejecutar("CREATE TABLE contador (n INTEGER)");
            base.ejecutar("INSERT INTO contador VALUES (0)");
            base.ejecutar("CREATE TRIGGER cuenta AFTER UPDATE ON NCM BEGIN UPDATE contador SET n = n + 1; END");
            base.ejecutar("CREATE TRIGGER falla BEFORE UPDATE ON NCM WHEN (SELECT n FROM contador) >= 4999 "
                          "BEGIN SELECT RAISE(ABORT, 'fallo a mitad del lote'); END");
        } else {
            base.ejecutar("DROP TABLE IF EXISTS contador");
            base.ejecutar("CREATE TABLE contador (n integer)");
            base.ejecutar("INSERT INTO contador VALUES (0)");
            base.ejecutar("CREATE OR REPLACE FUNCTION contar() RETURNS trigger AS $$ BEGIN "
                          "UPDATE contador SET n = n + 1; "
                          "IF (SELECT n FROM contador) >= 5000 THEN RAISE EXCEPTION 'fallo a mitad del lote'; END IF; "
                          "RETURN NEW; END $$ LANGUAGE plpgsql");
            base.ejecutar("CREATE TRIGGER falla BEFORE UPDATE ON NCM FOR EACH ROW EXECUTE FUNCTION contar()");
        }
        const QStringList antes = base.filas();
        const ResultadoLote r = lote.procesar(datos, {true});
        QCOMPARE(r.fin, FinDeLote::FalloDeBase);
        QCOMPARE(qsizetype(r.revisiones.size()), 6000);
        QVERIFY_THROWS_EXCEPTION(ErrorComponente, std::rethrow_exception(r.fallo));
        try {
            std::rethrow_exception(r.fallo);
        } catch (const ErrorComponente &e) {
            QVERIFY2(e.mensaje().contains("fallo a mitad del lote"), qPrintable(e.mensaje()));
        }
        QCOMPARE(base.filas(), antes);
        QCOMPARE(bitacora(), QStringList());
    }

    // Asked between chunks (here of one row): the batch stops there and nothing is stored.
    void loteInterrumpido()
    {
        Lote lote;
        const QStringList antes = lote.base->filas();
        int preguntas = 0;
        Seguimiento s;
        s.interrumpir = [&] { return ++preguntas > 1; };
        OpcionesDeLote filaAFila{true};
        filaAFila.filasPorTrozo = 1;
        const ResultadoLote r
            = lote.procesar("8901.10.00.000L,05\n9503.00.10.000B,07\n0101.21.00.100W,01\n", filaAFila, s);
        QCOMPARE(r.fin, FinDeLote::Interrumpido);
        QVERIFY(!r.revisado);
        QCOMPARE(lote.base->filas(), antes);
        QCOMPARE(bitacora(), QStringList());
    }
};

QTEST_GUILESS_MAIN(TstOperaciones)
#include "tst_operaciones.moc"
