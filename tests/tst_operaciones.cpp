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

#include <atomic>
#include <thread>

// The recording component with transactions, as a host's component might offer them
// without chunks: the batch then takes the per-row road.
// Another user of the same database, on a connection of its own in a thread of its
// own, running one statement after another.
class OtroUsuario {
public:
    explicit OtroUsuario(const QString &url) : url_(url) { }

    template <typename Cuerpo>
    void empezar(Cuerpo cuerpo)
    {
        hilo_ = std::thread([this, cuerpo] {
            const QString nombre = QStringLiteral("otro-usuario");
            {
                QSqlDatabase db = abrirBaseDeDatos(leerDireccion(url_), nombre);
                const auto ejecutar = [&](const QString &sql) {
                    QSqlQuery q(db);
                    if (!q.exec(sql))
                        fallo_ = q.lastError().text();
                };
                cuerpo(ejecutar, db);
                db.close();
            }
            QSqlDatabase::removeDatabase(nombre);
        });
    }
    // The first statement that failed, if any.
    QString terminar()
    {
        if (hilo_.joinable())
            hilo_.join();
        return fallo_;
    }
    ~OtroUsuario() { terminar(); }

private:
    QString url_;
    std::thread hilo_;
    QString fallo_;
};

class GrabadorConTransacciones final : public Componente, public Transacciones {
public:
    void loadparameters() override { grabador_.loadparameters(); }
    std::unique_ptr<Conexion> getDataConnectionByEntity(const QString &entidad) override
    {
        return grabador_.getDataConnectionByEntity(entidad);
    }
    void comenzarTransaccion(Aislamiento) override { paso(QStringLiteral("comenzar"), true); }
    void confirmarTransaccion() override { paso(QStringLiteral("confirmar"), false); }
    void revertirTransaccion() noexcept override { paso(QStringLiteral("revertir"), false); }
    bool enTransaccion() const override { return abierta_; }

private:
    void paso(const QString &nombre, bool abierta)
    {
        ComponenteGrabador::llamadas() << nombre;
        abierta_ = abierta;
    }

    ComponenteGrabador grabador_;
    bool abierta_ = false;
};

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
                                 "0702.00.00.000H;02\n"
                                 "\"8901.10.00.0\"\"-L\";99\n";
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
            "17\t8901.10.00.0\"-L\t\t99\tno encontrada\t",
        };
        const QStringList antes = lote.base->filas();

        ResultadoLote r = lote.procesar(datos, {false});
        QCOMPARE(r.fin, FinDeLote::Revisado);
        QCOMPARE(lineas(r), esperadas);
        QCOMPARE(r.errores, 11);

        r = lote.procesar(datos, {true});
        QCOMPARE(r.fin, FinDeLote::ConErrores);
        QCOMPARE(lineas(r), esperadas);
        QCOMPARE(lote.base->filas(), antes);
        QCOMPARE(bitacora(), QStringList());
    }

    // A position named by rows far apart, or by many: each row gets its own line, the
    // units are compared as F9 would store them, and the journal has one line per
    // position, in the order of the rows that first name them (not the key order).
    void posicionesRepetidas_data()
    {
        QTest::addColumn<QByteArray>("datos");
        QTest::addColumn<QStringList>("lineas");
        QTest::addColumn<QStringList>("anotadas"); // none: the batch has errors

        QTest::newRow("la misma unidad, escrita de otro modo")
            << QByteArray("8901.10.00.000L,05\n0302.11.10.000T,3\n0101.21.00.100W,9\n0702.00.00.000H,02,\n\n"
                          "0302.11.10.000T,\"03.4\"\n0101.21.00.100W,09\n8901.10.00.000L, 5\n")
            << QStringList{"1\t8901.10.00.000L\t07\t05\tcambia\t", "2\t0302.11.10.000T\t01\t03\tcambia\t",
                           "3\t0101.21.00.100W\t09\t09\tigual\t",  "4\t0702.00.00.000H\t01\t02\tcambia\t",
                           "6\t0302.11.10.000T\t01\t03\tcambia\t", "7\t0101.21.00.100W\t09\t09\tigual\t",
                           "8\t8901.10.00.000L\t07\t05\tcambia\t"}
            << QStringList{"8901.10.00.000L 07 05 lote", "0302.11.10.000T 01 03 lote", "0702.00.00.000H 01 02 lote"};
        // A row not well written names no position, whatever its unit; one whose unit
        // is wrong still asks for another unit.
        QTest::newRow("otra unidad lejos")
            << QByteArray("0702.00.00.000H,02\n8901.10.00.000L,05\n0702.00.00.000H,2\n8901.10.00.000L,07,x\n"
                          "0101.21.00.100W,09\n0702.00.00.000H,03\n0101.21.00.100W,abc\n")
            << QStringList{"1\t0702.00.00.000H\t01\t02\trepetida\t",
                           "2\t8901.10.00.000L\t07\t05\tcambia\t",
                           "3\t0702.00.00.000H\t01\t02\trepetida\t",
                           "4\t8901.10.00.000L\t\t07\tformato incorrecto\t",
                           "5\t0101.21.00.100W\t09\t09\trepetida\t",
                           "6\t0702.00.00.000H\t01\t03\trepetida\t",
                           "7\t0101.21.00.100W\t09\tabc\tunidad incorrecta\t"}
            << QStringList{};
        QByteArray muchas;
        QStringList lineas;
        for (int i = 1; i <= 40; ++i) {
            muchas += i % 2 ? "8901.10.00.000L,5\n" : "0702.00.00.000H,01\n";
            lineas << QString(i % 2 ? "%1\t8901.10.00.000L\t07\t05\tcambia\t" : "%1\t0702.00.00.000H\t01\t01\tigual\t")
                          .arg(i);
        }
        QTest::newRow("muchas filas en dos posiciones")
            << muchas << lineas << QStringList{"8901.10.00.000L 07 05 lote"};
    }

    void posicionesRepetidas()
    {
        QFETCH(QByteArray, datos);
        QFETCH(QStringList, lineas);
        QFETCH(QStringList, anotadas);
        Lote lote;
        const QStringList antes = lote.base->filas();
        ResultadoLote r = lote.procesar(datos, {false});
        QCOMPARE(r.fin, FinDeLote::Revisado);
        QCOMPARE(this->lineas(r), lineas);

        r = lote.procesar(datos, {true});
        QCOMPARE(this->lineas(r), lineas);
        QCOMPARE(bitacora(), anotadas);
        if (anotadas.isEmpty()) {
            QCOMPARE(r.fin, FinDeLote::ConErrores);
            QCOMPARE(lote.base->filas(), antes);
            return;
        }
        QCOMPARE(r.fin, FinDeLote::Guardado);
        QCOMPARE(r.guardados, anotadas.size());
        for (const QString &a : anotadas)
            QCOMPARE(lote.base->unidadDe(a.section(' ', 0, 0)), a.section(' ', 2, 2));
    }

    // Without chunks, every row is read inside the transaction, and read again just
    // before its update, so that the journal has the unit the update replaced.
    void loteFilaAFila()
    {
        GrabadorConTransacciones oDAM;
        OpcionesDeLote aplicar{true};
        const ResultadoLote r = procesarLote(oDAM, leerLote("9503.00.10.000B,07\n8901.10.00.000L,05\n").filas, aplicar);
        QCOMPARE(r.fin, FinDeLote::Guardado);
        QStringList pasos;
        for (const QString &llamada : ComponenteGrabador::llamadas()) {
            if (llamada.startsWith("crearrs"))
                pasos << "consulta " + llamada.section("[001] = '", 1).left(10);
            else if (llamada.startsWith("Ejecutar"))
                pasos << "update " + llamada.section("[001] = '", 1).left(10);
            else if (!llamada.contains('#'))
                pasos << llamada;
        }
        QCOMPARE(pasos,
                 (QStringList{"comenzar", "consulta 8901.10.00", "consulta 9503.00.10", "consulta 8901.10.00",
                              "update 8901.10.00", "confirmar"}));
        QCOMPARE(bitacora(), QStringList{"8901.10.00.000L 07 05 lote"});
    }

    // Chunks of three rows: one row, exactly a chunk, a chunk and one more; the hostile
    // rows of the table above go through the same statements.
    void trozos_data()
    {
        QTest::addColumn<int>("cambios");
        QTest::newRow("una fila") << 1;
        QTest::newRow("un trozo justo") << 3;
        QTest::newRow("un trozo y una fila") << 4;
    }

    void trozos()
    {
        QFETCH(int, cambios);
        Lote lote;
        const QByteArray datos = lote.base->filasExtra(cambios);
        const QStringList antes = lote.base->filas();
        OpcionesDeLote opciones{true};
        opciones.filasPorTrozo = 3;
        QList<qsizetype> avances;
        Seguimiento s;
        s.avance = [&](qsizetype hechas) { avances << hechas; };
        const ResultadoLote r = lote.procesar(datos, opciones, s);
        QCOMPARE(r.fin, FinDeLote::Guardado);
        QCOMPARE(r.guardados, cambios);
        QCOMPARE(avances.size(), 2 * ((cambios + 2) / 3)); // a chunk at a time, to read and to store
        QStringList esperado = antes;
        QStringList anotadas;
        for (int i = 0; i < cambios; ++i) {
            const QString fila = posicionExtra(i).left(10) + "|000|A|01";
            esperado[esperado.indexOf(fila)] = posicionExtra(i).left(10) + "|000|A|02";
            anotadas << posicionExtra(i) + " 01 02 lote";
        }
        QCOMPARE(lote.base->filas(), esperado);
        QCOMPARE(bitacora(), anotadas);
    }

    // Another user keeps changing the batch's rows while it runs: every journal line's
    // previous unit is the one the batch's own update replaced, as a trigger saw it.
    void anteriorConOtroUsuarioEscribiendo()
    {
        Lote lote;
        BaseDePrueba &base = *lote.base;
        if (base.esSqlite())
            QSKIP("SQLite lets no other writer in while the batch's transaction is open");
        constexpr int kFilas = 300;
        const QByteArray datos = base.filasExtra(kFilas);
        base.ejecutar("DROP TABLE IF EXISTS reemplazos");
        base.ejecutar("CREATE TABLE reemplazos (clave text, anterior text, nueva text, tx bigint)");
        base.ejecutar("CREATE OR REPLACE FUNCTION anotar_reemplazo() RETURNS trigger AS $$ BEGIN "
                      "INSERT INTO reemplazos VALUES (NEW.\"001\", OLD.\"012\", NEW.\"012\", txid_current()); "
                      "RETURN NEW; END $$ LANGUAGE plpgsql");
        base.ejecutar("CREATE TRIGGER reemplazo BEFORE UPDATE ON NCM FOR EACH ROW EXECUTE FUNCTION anotar_reemplazo()");

        std::atomic<bool> seguir{true};
        std::atomic<int> escritas{0};
        OtroUsuario otro(base.url());
        otro.empezar([&](const auto &ejecutar, QSqlDatabase &) {
            for (int i = 0; seguir; ++i) {
                ejecutar(QStringLiteral("UPDATE NCM SET \"012\" = '%1' WHERE \"001\" = '%2'")
                             .arg(10 + i % 80)
                             .arg(posicionExtra(i % kFilas).left(10)));
                ++escritas;
            }
        });
        while (escritas < kFilas)
            QTest::qWait(5);
        OpcionesDeLote opciones{true};
        opciones.filasPorTrozo = 50;
        const ResultadoLote r = lote.procesar(datos, opciones);
        seguir = false;
        QCOMPARE(otro.terminar(), QString());
        QCOMPARE(r.fin, FinDeLote::Guardado);

        QSqlQuery q(base.db());
        QVERIFY(q.exec("SELECT clave, anterior FROM reemplazos WHERE nueva = '02'"));
        QHash<QString, QString> reemplazada;
        while (q.next())
            reemplazada.insert(q.value(0).toString(), q.value(1).toString());
        const QList<Anotacion> anotadas = leerBitacora(rutaDeBitacora());
        QCOMPARE(anotadas.size(), kFilas);
        int cambiadasPorElOtro = 0;
        for (const Anotacion &a : anotadas) {
            QCOMPARE(a.anterior, reemplazada.value(a.posicion.left(10)));
            cambiadasPorElOtro += a.anterior != "01" ? 1 : 0;
        }
        QVERIFY2(cambiadasPorElOtro > 0, "the other user changed no row before the batch read it");
    }

    // A deadlock stops the batch's first try; the second stores it, with the units the
    // other user left.
    void interbloqueoReintentado()
    {
        Lote lote;
        BaseDePrueba &base = *lote.base;
        if (base.esSqlite())
            QSKIP("SQLite's writers never wait on each other's rows");
        const QByteArray datos = base.filasExtra(2);
        std::atomic<bool> listo{false};
        OtroUsuario otro(base.url());
        otro.empezar([&](const auto &ejecutar, QSqlDatabase &db) {
            ejecutar("BEGIN");
            ejecutar(
                QStringLiteral("UPDATE NCM SET \"012\" = '55' WHERE \"001\" = '%1'").arg(posicionExtra(1).left(10)));
            listo = true;
            // Once the batch holds the first row and waits for the second, this user
            // waits for the first: the batch waited first, so the database stops it.
            for (int vueltas = 0, esperando = 0; !esperando && vueltas < 1000; ++vueltas, QThread::msleep(10)) {
                QSqlQuery q(db);
                esperando = q.exec("SELECT 1 FROM pg_locks WHERE NOT granted") && q.next();
            }
            // The server looks for a deadlock a second after each wait began, and stops
            // the session whose second came first: on a loaded machine a few
            // milliseconds apart are not enough to make that the batch.
            QThread::msleep(300);
            ejecutar(
                QStringLiteral("UPDATE NCM SET \"012\" = '55' WHERE \"001\" = '%1'").arg(posicionExtra(0).left(10)));
            QThread::msleep(300);
            ejecutar("COMMIT");
        });
        while (!listo)
            QTest::qWait(5);
        OpcionesDeLote opciones{true};
        opciones.filasPorTrozo = 1;
        int intentos = 0;
        Seguimiento s;
        s.etapa = [&](const QString &participio, qsizetype) { intentos += participio == u"Revisadas" ? 1 : 0; };
        const ResultadoLote r = lote.procesar(datos, opciones, s);
        QCOMPARE(otro.terminar(), QString());
        QCOMPARE(r.fin, FinDeLote::Guardado);
        QCOMPARE(intentos, 2);
        QCOMPARE(base.unidadDe(posicionExtra(0)), QString("02"));
        QCOMPARE(base.unidadDe(posicionExtra(1)), QString("02"));
        QCOMPARE(bitacora(), (QStringList{posicionExtra(0) + " 55 02 lote", posicionExtra(1) + " 55 02 lote"}));
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

    // 0101.21.00.10 and an emoji is 15 UTF-16 units, a well-formed position whose cut
    // leaves half of the emoji in each of the last two key values. The batch, chunked
    // or row by row, finds no row for it, and the rows its halves could become on a
    // server keep their unit; so does the undo of such a change.
    void caracterPartidoEnElLote_data()
    {
        QTest::addColumn<bool>("porFila");
        QTest::newRow("en trozos") << false;
        QTest::newRow("fila a fila") << true;
    }

    void caracterPartidoEnElLote()
    {
        QFETCH(bool, porFila);
        Lote lote;
        BaseDePrueba &base = *lote.base;
        for (const QString &x : {QStringLiteral("?"), QString(QChar(0xFFFD))})
            base.ejecutar("INSERT INTO NCM (\"001\", \"002\", \"003\", \"012\") VALUES ('0101.21.00', '10" + x + "', '"
                          + x + "', '09')");
        const QString partida = "0101.21.00.10" + QString::fromUtf8("\xF0\x9F\x98\x80");
        const QStringList antes = base.filas();
        OpcionesDeLote opciones{true};
        opciones.porFila = porFila;
        const ResultadoLote r = lote.procesar((partida + ",44\n8901.10.00.000L,05\n").toUtf8(), opciones);
        QCOMPARE(r.fin, FinDeLote::ConErrores);
        QCOMPARE(r.revisiones.size(), std::size_t(2));
        QCOMPARE(r.revisiones[0].posicion, partida);
        QCOMPARE(r.revisiones[0].resultado, Resultado::NoEncontrada);
        QCOMPARE(base.filas(), antes);

        const ResultadoCambio deshecho = deshacerCambio(*lote.oDAM, partida, QString("44"), "09");
        QVERIFY(!deshecho.guardado());
        const ResultadoCambio guardado = guardarCambio(*lote.oDAM, partida, "09", "44", "ventana");
        QVERIFY(!guardado.guardado());
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
