// SPDX-License-Identifier: GPL-3.0-or-later
#include "BaseDePrueba.h"
#include "UsuariosSimulados.h"
#include "dam/ComponenteDAM.h"
#include "data/Clases.h"
#include "data/Sentencias.h"

#include <QProcess>
#include <QtTest>

namespace {

const QString kPosicion = QStringLiteral("8901.10.00.000L");

} // namespace

class TstComponente : public QObject {
    Q_OBJECT

    std::unique_ptr<BaseDePrueba> base;
    std::unique_ptr<Componente> oDAM;
    QStringList avisos;
    Avisador avisar = [this](const QString &m) { avisos << m; };

    QString consultar(const QString &sNcm) { return GetUnidEst(*oDAM, sNcm, avisar); }

private slots:
    // The program registers its component by class name before anything else.
    void initTestCase()
    {
        registrarComponenteDAM();
        QVERIFY(CrearObjeto(kClaseDAM) != nullptr);
    }

    void init()
    {
        avisos.clear();
        base = std::make_unique<BaseDePrueba>();
        qputenv("DAM_DATABASE_URL", base->url().toUtf8());
        oDAM = CrearObjeto(kClaseDAM);
        oDAM->loadparameters();
    }

    void cleanup()
    {
        oDAM.reset();
        base.reset();
        qunsetenv("DAM_DATABASE_URL");
    }

    void consulta_data()
    {
        QTest::addColumn<QString>("sNcm");
        QTest::addColumn<QString>("unidad");
        QTest::addColumn<bool>("avisado");
        QTest::newRow("encontrada") << kPosicion << "07" << false;
        QTest::newRow("unidad nula") << "9503.00.10.000B"
                                     << "" << false;
        QTest::newRow("hermana por la letra") << "0101.21.00.100X"
                                              << "09" << false;
        QTest::newRow("no existe") << "8901.10.00.000M" << NotFoundMarker << true;
        QTest::newRow("letra en minuscula") << "8901.10.00.000l" << NotFoundMarker << true;
        QTest::newRow("texto corto") << "8901.10.00.000" << NotFoundMarker << true;
        QTest::newRow("punto y coma en un literal") << "8901.10.00.0;0L" << NotFoundMarker << true;
    }

    void consulta()
    {
        QFETCH(QString, sNcm);
        QFETCH(QString, unidad);
        QFETCH(bool, avisado);
        QCOMPARE(consultar(sNcm), unidad);
        QCOMPARE(avisos.size(), avisado ? 1 : 0);
    }

    void updateCambiaSoloLaFilaNombrada()
    {
        QStringList esperado = base->filas();
        QVERIFY(EjecutarUpdate(*oDAM, "0101.21.00.100W", "42"));
        esperado.replace(esperado.indexOf("0101.21.00|100|W|09"), "0101.21.00|100|W|42");
        QCOMPARE(base->filas(), esperado);
        QCOMPARE(consultar("0101.21.00.100W"), QString("42"));
    }

    void updateSinFilaEsFracaso()
    {
        const QStringList antes = base->filas();
        QVERIFY(!EjecutarUpdate(*oDAM, "8901.10.00.000M", "05"));
        QCOMPARE(base->filas(), antes);
    }

    void updateDelMismoValorCuentaComoExito() { QVERIFY(EjecutarUpdate(*oDAM, kPosicion, "07")); }

    void textoHostilNoAlcanzaOtrasFilas_data()
    {
        QTest::addColumn<QString>("sNcm");
        QTest::addColumn<QString>("sUnidEst");
        // Without quoting each of these would reach every row or run a second statement.
        QTest::newRow("condicion siempre cierta") << "'OR''=''--.000L"
                                                  << "99";
        QTest::newRow("comentario en la clave") << "8901.10.00.0'-"
                                                << "99";
        QTest::newRow("unidad que cierra el literal") << "8901.10.00.000M"
                                                      << "9' WHERE 1=1 --";
        QTest::newRow("segunda sentencia en la unidad") << "8901.10.00.000M"
                                                        << "9'; DELETE FROM NCM; --";
        QTest::newRow("barra inversa") << "8901.10.00.00\\L"
                                       << "9\\";
    }

    void textoHostilNoAlcanzaOtrasFilas()
    {
        QFETCH(QString, sNcm);
        QFETCH(QString, sUnidEst);
        const QStringList antes = base->filas();
        QCOMPARE(consultar(sNcm), NotFoundMarker);
        QVERIFY(!EjecutarUpdate(*oDAM, sNcm, sUnidEst));
        QCOMPARE(base->filas(), antes);
    }

    void unidadHostilQuedaEnSuFila()
    {
        const QString hostil = "x' , [001] = 'y";
        QStringList esperado = base->filas();
        QVERIFY(EjecutarUpdate(*oDAM, kPosicion, hostil));
        esperado.replace(esperado.indexOf("8901.10.00|000|L|07"), "8901.10.00|000|L|" + hostil);
        QCOMPARE(base->filas(), esperado);
    }

    void unaSolaSentenciaPorTexto()
    {
        const QStringList antes = base->filas();
        {
            const auto cn = oDAM->getDataConnectionByEntity("NCM");
            cn->setSQL("Update NCM SET [012] = '99' WHERE  [001] = 'x'; DELETE FROM NCM");
        }
        const auto cn = oDAM->getDataConnectionByEntity("NCM");
        QVERIFY_THROWS_EXCEPTION(ErrorComponente, (void)cn->Ejecutar());
        QCOMPARE(base->filas(), antes);
    }

    void conexionesDeLaMismaEntidadCompartenLaSentencia()
    {
        {
            const auto a = oDAM->getDataConnectionByEntity("NCM");
            a->setSQL(textoUpdate(kPosicion, "33"));
        }
        const auto b = oDAM->getDataConnectionByEntity("NCM");
        QCOMPARE(b->SQL(), textoUpdate(kPosicion, "33"));
        QCOMPARE(b->Ejecutar().toInt(), 1);
        QCOMPARE(base->unidad("8901.10.00", "000", "L"), QString("33"));
    }

    void deshacerSoloMientrasLaFilaTengaLoGuardado()
    {
        const QString nula = "9503.00.10.000B";
        QCOMPARE(ActualizarUnidad(*oDAM, nula, "05"), 1LL);
        QCOMPARE(DeshacerUnidad(*oDAM, nula, std::nullopt, "06"), 0LL);
        QCOMPARE(base->unidadDe(nula), QString("05"));
        QCOMPARE(DeshacerUnidad(*oDAM, nula, std::nullopt, "05"), 1LL);
        QCOMPARE(base->unidadDe(nula), QString("<null>"));
        QCOMPARE(DeshacerUnidad(*oDAM, kPosicion, QString("05"), "07"), 1LL);
        QCOMPARE(base->unidadDe(kPosicion), QString("05"));
    }

    void errorDeLaBaseEsErrorDelComponente()
    {
        base->ejecutar("DROP TABLE NCM");
        try {
            (void)consultar(kPosicion);
            QFAIL("una tabla que falta debe ser un error del componente");
        } catch (const ErrorComponente &e) {
            QVERIFY2(e.mensaje().contains("Select [012] from Ncm"), qPrintable(e.mensaje()));
        }
    }

    void transaccion_data()
    {
        QTest::addColumn<bool>("confirmar");
        QTest::newRow("confirmada") << true;
        QTest::newRow("revertida") << false;
    }

    void transaccion()
    {
        QFETCH(bool, confirmar);
        auto *t = dynamic_cast<Transacciones *>(oDAM.get());
        QVERIFY(t);
        const QStringList antes = base->filas();
        t->comenzarTransaccion();
        QVERIFY(t->enTransaccion());
        QVERIFY_THROWS_EXCEPTION(ErrorComponente, t->comenzarTransaccion());
        QVERIFY(EjecutarUpdate(*oDAM, kPosicion, "42"));
        QVERIFY(EjecutarUpdate(*oDAM, "9503.00.10.000B", "43"));
        QCOMPARE(consultar(kPosicion), QString("42"));
        // Another session sees nothing of it until it is confirmed.
        QCOMPARE(base->filas(), antes);
        if (confirmar)
            t->confirmarTransaccion();
        else
            t->revertirTransaccion();
        QVERIFY(!t->enTransaccion());

        QStringList esperado = antes;
        if (confirmar) {
            esperado.replace(esperado.indexOf("8901.10.00|000|L|07"), "8901.10.00|000|L|42");
            esperado.replace(esperado.indexOf("9503.00.10|000|B|<null>"), "9503.00.10|000|B|43");
        }
        QCOMPARE(base->filas(), esperado);
        // The component goes on as before, one statement at a time.
        QVERIFY(EjecutarUpdate(*oDAM, "0101.21.00.100W", "44"));
        QCOMPARE(base->unidad("0101.21.00", "100", "W"), QString("44"));
    }

    void muchosUsuariosALaVez()
    {
        // Four writers on one row and four on rows of their own, all at once.
        const QStringList propias = {"0201.10.00.000W", "0302.11.10.000T", "0401.10.10.000U", "0702.00.00.000H"};
        const QStringList unidades = {"11", "12", "13", "14", "15"};
        const int veces = 200;
        std::vector<std::unique_ptr<QProcess>> procesos;
        for (const QString &p : QStringList(4, kPosicion) + propias)
            procesos.push_back(lanzarUsuario(base->url(), p, veces, unidades));

        for (auto &p : procesos) {
            QVERIFY(p->waitForFinished(120000));
            QVERIFY2(p->exitStatus() == QProcess::NormalExit && p->exitCode() == 0,
                     p->readAllStandardError().constData());
        }
        for (const QString &p : propias + QStringList{kPosicion})
            QVERIFY(unidades.contains(base->unidadDe(p)));
        QCOMPARE(integridad(*base), QString("ok"));
    }
};

QTEST_GUILESS_MAIN(TstComponente)
#include "tst_componente.moc"
