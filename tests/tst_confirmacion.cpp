// SPDX-License-Identifier: GPL-3.0-or-later
// A change's lookup and update in one transaction, and what a commit whose answer is
// lost leaves behind: on SQLite, and on each server backend (TELQUIN_TEST_DB).

#include "BaseDePrueba.h"
#include "LecturaDeBitacora.h"
#include "ProxyDeCorte.h"
#include "dam/ComponenteDAM.h"
#include "data/Clases.h"
#include "operaciones/Cambio.h"
#include "operaciones/Lote.h"

#include <QTest>

namespace {

const QString kPosicion = QStringLiteral("8901.10.00.000L");

// The bundled component, but its connections answer an update with no row count, as
// some ODBC drivers do.
class SinCuentaDeFilas final : public Componente, public Transacciones {
public:
    explicit SinCuentaDeFilas(std::unique_ptr<Componente> real)
        : real_(std::move(real))
        , t_(*dynamic_cast<Transacciones *>(real_.get()))
    {
    }
    void loadparameters() override { }
    std::unique_ptr<Conexion> getDataConnectionByEntity(const QString &entidad) override
    {
        class SinCuenta final : public Conexion {
        public:
            explicit SinCuenta(std::unique_ptr<Conexion> c) : c_(std::move(c)) { }
            void setSQL(const QString &sentencia) override { c_->setSQL(sentencia); }
            QString SQL() const override { return c_->SQL(); }
            QVariant crearrs(std::unique_ptr<Recordset> &rs) override { return c_->crearrs(rs); }
            QVariant Ejecutar() override
            {
                (void)c_->Ejecutar();
                return -1;
            }

        private:
            std::unique_ptr<Conexion> c_;
        };
        return std::make_unique<SinCuenta>(real_->getDataConnectionByEntity(entidad));
    }
    void comenzarTransaccion(Aislamiento a) override { t_.comenzarTransaccion(a); }
    void confirmarTransaccion() override { t_.confirmarTransaccion(); }
    void revertirTransaccion() noexcept override { t_.revertirTransaccion(); }
    bool enTransaccion() const override { return t_.enTransaccion(); }

private:
    std::unique_ptr<Componente> real_;
    Transacciones &t_;
};

} // namespace

class TstConfirmacion : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> estado;
    std::unique_ptr<BaseDePrueba> base;

    QStringList bitacora() const { return lineasDeBitacora(estado->filePath("telquin/cambios.csv")); }

    std::unique_ptr<Componente> componente(const QString &url)
    {
        qputenv("DAM_DATABASE_URL", url.toUtf8());
        auto oDAM = CrearObjeto(kClaseDAM);
        oDAM->loadparameters();
        return oDAM;
    }

    // The test server's address with its socket folder replaced by the proxy's; through
    // ODBC, the connection string that names the folder rather than the data source.
    QString porElProxy(const QString &carpeta) const
    {
        const auto urls = urlsDelServidor(qEnvironmentVariable("TELQUIN_SERVIDOR"));
        QString url = base->url().startsWith("odbc:") ? urls.value("TELQUIN_ODBC_URL") : base->url();
        return url.replace(urls.value("PGHOST"), carpeta);
    }

    std::unique_ptr<ProxyDeCorte> proxy()
    {
        const auto urls = urlsDelServidor(qEnvironmentVariable("TELQUIN_SERVIDOR"));
        const QString puerto = urls.value("PGPORT");
        return std::make_unique<ProxyDeCorte>(urls.value("PGHOST") + "/.s.PGSQL." + puerto, puerto.toInt());
    }

private slots:
    void initTestCase() { registrarComponenteDAM(); }

    void init()
    {
        estado = std::make_unique<QTemporaryDir>();
        qputenv("XDG_STATE_HOME", estado->path().toUtf8());
        base = std::make_unique<BaseDePrueba>();
    }

    void cleanup()
    {
        base.reset();
        qunsetenv("DAM_DATABASE_URL");
        qunsetenv("XDG_STATE_HOME");
    }

    // Another user's change between the lookup and the update is never overwritten
    // unseen: on a server the update fails as a passing condition; on SQLite the other
    // user cannot write until the change is committed. Either way the journal's
    // previous unit is the one the update replaced.
    void otroUsuarioEntreConsultaYUpdate()
    {
        const auto oDAM = componente(base->url());
        bool otroEscribio = false;
        const auto cambiar = [&] {
            return consultarYGuardar(*oDAM, kPosicion, "05", "linea", [&](const UnidadLeida &leida) {
                QSqlQuery q(base->db());
                otroEscribio = q.exec(R"(UPDATE NCM SET "012" = '11' WHERE "001" = '8901.10.00' AND "003" = 'L')");
                return leida.encontrada;
            });
        };
        if (base->esSqlite()) {
            base->db().close();
            base->db().setConnectOptions("QSQLITE_BUSY_TIMEOUT=0");
            base->reabrir();
            const ResultadoCambio r = cambiar();
            QVERIFY(!otroEscribio);
            QVERIFY(r.guardado());
            QCOMPARE(bitacora(), QStringList{kPosicion + " 07 05 linea"});
            QCOMPARE(base->unidadDe(kPosicion), QString("05"));
            return;
        }
        try {
            (void)cambiar();
            QFAIL("el cambio sobrescribió el del otro usuario");
        } catch (const ErrorOcupado &e) {
            QCOMPARE(e.condicion(), CondicionPasajera::CambioConcurrente);
        }
        QVERIFY(otroEscribio);
        QCOMPARE(base->unidadDe(kPosicion), QString("11"));
        QVERIFY(bitacora().isEmpty());
        // The same change once more goes through, noting the other user's unit.
        const ResultadoCambio r = consultarYGuardar(*oDAM, kPosicion, "05", "linea",
                                                    [](const UnidadLeida &leida) { return leida.encontrada; });
        QVERIFY(r.guardado());
        QCOMPARE(bitacora(), QStringList{kPosicion + " 11 05 linea"});
    }

    // A commit whose answer is lost: the server is asked what became of it.
    void confirmacionSinRespuesta_data()
    {
        QTest::addColumn<int>("corte");
        QTest::addColumn<bool>("sinReconexion");
        QTest::addColumn<QString>("que"); // cambio, lote, deshacer
        QTest::addColumn<QString>("desenlace"); // guardado, revertido, incierto
        for (const char *que : {"cambio", "lote", "deshacer"}) {
            QTest::addRow("%s confirmado", que) << int(ProxyDeCorte::Corte::TrasEnviar) << false << que << "guardado";
            QTest::addRow("%s sin llegar", que) << int(ProxyDeCorte::Corte::SinEnviar) << false << que << "revertido";
            QTest::addRow("%s sin poder preguntar", que)
                << int(ProxyDeCorte::Corte::TrasEnviar) << true << que << "incierto";
        }
    }

    void confirmacionSinRespuesta()
    {
        if (base->esSqlite())
            QSKIP("SQLite confirma en este mismo proceso");
        QFETCH(int, corte);
        QFETCH(bool, sinReconexion);
        QFETCH(QString, que);
        QFETCH(QString, desenlace);
        const bool lote = que == "lote";
        const QByteArray csv = base->filasExtra(12);
        const auto corteDe = proxy();
        const auto oDAM = componente(porElProxy(corteDe->carpeta()));
        corteDe->armar(ProxyDeCorte::Corte(corte));
        corteDe->rechazarNuevas(sinReconexion);
        const QStringList antes = base->filas();

        QString visto;
        if (lote) {
            const ArchivoLote archivo = leerLote(csv);
            OpcionesDeLote opciones;
            opciones.aplicar = true;
            opciones.filasPorTrozo = 5;
            const ResultadoLote r = procesarLote(*oDAM, archivo.filas, opciones);
            visto = r.fin == FinDeLote::Guardado  ? "guardado"
                : r.fin == FinDeLote::FalloDeBase ? "revertido"
                : r.fin == FinDeLote::Incierto    ? "incierto"
                                                  : "otro";
        } else {
            try {
                // The extra rows hold 01: the undo puts 09 back over it.
                const ResultadoCambio r = que == "deshacer"
                    ? deshacerCambio(*oDAM, posicionExtra(3), QString("09"), "01")
                    : consultarYGuardar(*oDAM, posicionExtra(3), "09", "linea",
                                        [](const UnidadLeida &l) { return l.encontrada; });
                visto = r.guardado() ? "guardado" : "sin guardar";
            } catch (const ErrorDesenlaceIncierto &e) {
                QCOMPARE(e.mensaje(), kDesenlaceIncierto);
                visto = "incierto";
            } catch (const ErrorComponente &e) {
                visto = "revertido";
            }
        }
        QCOMPARE(corteDe->commitsCortados(), 1);
        QCOMPARE(visto, desenlace);

        // What the server holds now, once its old session has ended.
        const QString unidad = lote ? QString("02") : QString("09");
        QString tiene;
        for (int i = 0; i < 100; ++i) {
            base->reabrir();
            tiene = base->unidadDe(posicionExtra(3));
            QSqlQuery q(base->db());
            if (q.exec("SELECT count(*) FROM pg_stat_activity WHERE state LIKE 'idle in transaction%'") && q.next()
                && q.value(0).toInt() == 0)
                break;
            QTest::qWait(50);
        }
        const int lineas = int(bitacora().size());
        if (desenlace == "guardado") {
            QCOMPARE(tiene, unidad);
            QCOMPARE(lineas, lote ? 12 : 1);
        } else {
            QCOMPARE(lineas, 0);
            if (desenlace == "revertido")
                QCOMPARE(base->filas(), antes);
        }
    }

    // A driver that cannot count the rows its update changed: the row read back in the
    // same transaction tells, rather than "not stored".
    void cuentaDesconocidaSeLeeDeLaFila()
    {
        SinCuentaDeFilas oDAM(componente(base->url()));
        const auto encontrada = [](const UnidadLeida &l) { return l.encontrada; };
        const ResultadoCambio r = consultarYGuardar(oDAM, kPosicion, "05", "ventana", encontrada);
        QCOMPARE(r.filas, 1);
        QCOMPARE(base->unidadDe(kPosicion), QString("05"));
        // An undo whose row no longer holds what was stored changes nothing, and says so.
        QCOMPARE(deshacerCambio(oDAM, kPosicion, QString("07"), "33").filas, 0);
        QCOMPARE(deshacerCambio(oDAM, kPosicion, QString("07"), "05").filas, 1);
        QCOMPARE(base->unidadDe(kPosicion), QString("07"));
        QCOMPARE(bitacora(), (QStringList{kPosicion + " 07 05 ventana", kPosicion + " 05 07 deshacer"}));

        // A batch row by row, as such a component takes it.
        OpcionesDeLote opciones;
        opciones.aplicar = true;
        const ResultadoLote lote = procesarLote(oDAM, leerLote(kPosicion.toUtf8() + ",12\n").filas, opciones);
        QCOMPARE(lote.fin, FinDeLote::Guardado);
        QCOMPARE(base->unidadDe(kPosicion), QString("12"));
        QCOMPARE(bitacora().size(), 3);
    }
};

QTEST_GUILESS_MAIN(TstConfirmacion)
#include "tst_confirmacion.moc"
