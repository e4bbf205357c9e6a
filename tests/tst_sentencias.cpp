// SPDX-License-Identifier: GPL-3.0-or-later
#include "ComponenteGrabador.h"
#include "data/Clases.h"
#include "data/Sentencias.h"

#include <QtTest>

Q_DECLARE_METATYPE(GuionGrabador::Recordset)

class TstSentencias : public QObject {
    Q_OBJECT

    QStringList avisos;
    Avisador avisar = [this](const QString &m) { avisos << m; };

private slots:
    void init()
    {
        avisos.clear();
        ComponenteGrabador::llamadas().clear();
    }

    void textos_data()
    {
        QTest::addColumn<QString>("sNcm");
        QTest::addColumn<QString>("sUnidEst");
        QTest::addColumn<QString>("consulta");
        QTest::addColumn<QString>("update");

        QTest::newRow("ejemplo")
            << "8901.10.00.000L"
            << "05"
            << "Select [012] from Ncm Where  [001] = '8901.10.00' AND  [002] = '000' AND  [003] = 'L'"
            << "Update NCM SET [012] = '05' WHERE  [001] = '8901.10.00' AND  [002] = '000' AND  [003] = 'L'";
        QTest::newRow("texto corto")
            << "8901.10"
            << ""
            << "Select [012] from Ncm Where  [001] = '8901.10' AND  [002] = '' AND  [003] = ''"
            << "Update NCM SET [012] = '' WHERE  [001] = '8901.10' AND  [002] = '' AND  [003] = ''";
        QTest::newRow("comillas dobladas")
            << "'OR''=''--.'''x"
            << "0'"
            << "Select [012] from Ncm Where  [001] = '''OR''''=''''--' AND  [002] = '''''''' AND  [003] = 'x'"
            << "Update NCM SET [012] = '0''' WHERE  [001] = '''OR''''=''''--' AND  [002] = '''''''' AND  [003] = 'x'";
    }

    void textos()
    {
        QFETCH(QString, sNcm);
        QFETCH(QString, sUnidEst);
        QFETCH(QString, consulta);
        QFETCH(QString, update);
        QCOMPARE(textoConsulta(sNcm), consulta);
        QCOMPARE(textoUpdate(sNcm, sUnidEst), update);
    }

    void textoDeshacer_data()
    {
        QTest::addColumn<QVariant>("anterior"); // null: the unit had no value
        QTest::addColumn<QString>("texto");
        QTest::newRow("con valor") << QVariant("07")
                                   << "Update NCM SET [012] = '07' WHERE  [001] = '8901.10.00' AND  [002] = '000' AND  "
                                      "[003] = 'L' AND  [012] = '05'";
        QTest::newRow("nula") << QVariant()
                              << "Update NCM SET [012] = NULL WHERE  [001] = '8901.10.00' AND  [002] = '000' AND  "
                                 "[003] = 'L' AND  [012] = '05'";
    }

    void textoDeshacer()
    {
        QFETCH(QVariant, anterior);
        QFETCH(QString, texto);
        const std::optional<QString> valor = anterior.isNull() ? std::nullopt : std::optional(anterior.toString());
        QCOMPARE(::textoDeshacer("8901.10.00.000L", valor, "05"), texto);
    }

    void consultaRespetaElOrdenDeLlamadas()
    {
        ComponenteGrabador c;
        QCOMPARE(GetUnidEst(c, "8901.10.00.000L", avisar), QString("07"));
        const QString sql = "Select [012] from Ncm Where  [001] = '8901.10.00' AND  [002] = '000' AND  [003] = 'L'";
        QCOMPARE(ComponenteGrabador::llamadas(),
                 QStringList({"pedir NCM #1", "SQL #1: " + sql, "soltar #1", "pedir NCM #2", "crearrs #2: " + sql,
                              "soltar #2"}));
        QVERIFY(avisos.isEmpty());
    }

    void updateRespetaElOrdenDeLlamadas()
    {
        ComponenteGrabador c;
        QVERIFY(EjecutarUpdate(c, "8901.10.00.000L", "05"));
        const QString sql
            = "Update NCM SET [012] = '05' WHERE  [001] = '8901.10.00' AND  [002] = '000' AND  [003] = 'L'";
        QCOMPARE(ComponenteGrabador::llamadas(),
                 QStringList({"pedir NCM #1", "SQL #1: " + sql, "soltar #1", "pedir NCM #2", "Ejecutar #2: " + sql,
                              "soltar #2"}));
    }

    // Only the values that enter a statement are looked at: the eleventh character of a
    // position never does, so a backslash there still lets the lookup run.
    void valoresVedados_data()
    {
        QTest::addColumn<QString>("sNcm");
        QTest::addColumn<QString>("sUnidEst");
        QTest::addColumn<bool>("consulta");
        QTest::addColumn<bool>("update");
        QTest::newRow("barra en la clave") << "8901.10.00.00\\L"
                                           << "05" << false << false;
        QTest::newRow("NUL en la clave") << QString::fromUtf8("8901.1\0.00.000L", 15) << "05" << false << false;
        QTest::newRow("salto de línea en la letra") << "8901.10.00.000\n"
                                                    << "05" << false << false;
        QTest::newRow("tabulador en la unidad") << "8901.10.00.000L"
                                                << "0\t" << true << false;
        QTest::newRow("unidad con barra") << "8901.10.00.000L"
                                          << "\\5" << true << false;
        QTest::newRow("barra en el carácter 11") << "8901.10.00\\000L"
                                                 << "05" << true << true;
        QTest::newRow("control en el carácter 11") << "8901.10.00\x01"
                                                      "000L"
                                                   << "05" << true << true;
        // A position of 15 UTF-16 units whose cut splits a pair, and the like.
        const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80");
        const QChar alta(0xD83D);
        const QChar baja(0xDE00);
        QTest::newRow("emoji partido entre sufijo y letra") << "0101.21.00.10" + emoji << "44" << false << false;
        QTest::newRow("emoji partido en el carácter 11") << "0101.21.0" + emoji + "100W"
                                                         << "44" << false << false;
        QTest::newRow("media pareja alta al final") << "0101.21.00.100" + QString(alta) << "44" << false << false;
        QTest::newRow("media pareja baja al comienzo") << QString(baja) + "101.21.00.100W"
                                                       << "44" << false << false;
        QTest::newRow("dos mitades altas") << "0101.21.00.1" + QString(alta) + alta + "W"
                                           << "44" << false << false;
        QTest::newRow("mitades al revés") << "0101.21.00.1" + QString(baja) + alta + "W"
                                          << "44" << false << false;
        QTest::newRow("media pareja en la unidad") << "8901.10.00.000L" << QString(alta) + "5" << true << false;
        QTest::newRow("unidad partida al final") << "8901.10.00.000L"
                                                 << "5" + QString(alta) << true << false;
        QTest::newRow("emoji entero en el sufijo") << "0101.21.00.1" + emoji + "W"
                                                   << "44" << true << true;
        QTest::newRow("emoji entero en la unidad") << "8901.10.00.000L" << emoji << true << true;
        QTest::newRow("no carácter U+FFFF") << "0101.21.00.100" + QString(QChar(0xFFFF)) << "44" << true << true;
    }

    void valoresVedados()
    {
        QFETCH(QString, sNcm);
        QFETCH(QString, sUnidEst);
        QFETCH(bool, consulta);
        QFETCH(bool, update);
        ComponenteGrabador c;
        (void)GetUnidEst(c, sNcm, avisar);
        QCOMPARE(ComponenteGrabador::llamadas().filter("crearrs").size(), consulta ? 1 : 0);
        QCOMPARE(avisos.isEmpty(), consulta);
        QCOMPARE(EjecutarUpdate(c, sNcm, sUnidEst), update);
        QCOMPARE(ComponenteGrabador::llamadas().filter("Ejecutar").size(), update ? 1 : 0);
        // The undo puts back what the update stored: the same values, the same refusal.
        QCOMPARE(DeshacerUnidad(c, sNcm, QString("09"), sUnidEst), update ? 1LL : 0LL);
        QCOMPARE(DeshacerUnidad(c, sNcm, sUnidEst, "09"), update ? 1LL : 0LL);
        QCOMPARE(ComponenteGrabador::llamadas().filter("Ejecutar").size(), update ? 3 : 0);
    }

    void resultadoDeConsulta_data()
    {
        QTest::addColumn<QVariant>("respuesta");
        QTest::addColumn<GuionGrabador::Recordset>("recordset");
        QTest::addColumn<QVariant>("valor");
        QTest::addColumn<QString>("resultado");
        QTest::addColumn<bool>("avisado");
        using R = GuionGrabador::Recordset;

        QTest::newRow("texto") << QVariant(true) << R::Llenar << QVariant("07") << "07" << false;
        QTest::newRow("numero sin ceros delante") << QVariant(true) << R::Llenar << QVariant(7) << "7" << false;
        QTest::newRow("numero real entero") << QVariant(true) << R::Llenar << QVariant(12.0) << "12" << false;
        QTest::newRow("nulo es vacio, no ausente") << QVariant(true) << R::Llenar << QVariant() << "" << false;
        QTest::newRow("recordset reemplazado") << QVariant(true) << R::Reemplazar << QVariant("10") << "10" << false;
        QTest::newRow("fila con el marcador")
            << QVariant(true) << R::Llenar << QVariant("No encontrado") << "No encontrado" << false;
        QTest::newRow("sin fila") << QVariant(false) << R::NoTocar << QVariant() << "No encontrado" << true;
        QTest::newRow("respuesta nula") << QVariant() << R::Llenar << QVariant("07") << "No encontrado" << true;
        QTest::newRow("sin fila y sin recordset")
            << QVariant(false) << R::Vaciar << QVariant() << "No encontrado" << true;
    }

    void resultadoDeConsulta()
    {
        QFETCH(QVariant, respuesta);
        QFETCH(GuionGrabador::Recordset, recordset);
        QFETCH(QVariant, valor);
        QFETCH(QString, resultado);
        QFETCH(bool, avisado);
        GuionGrabador guion;
        guion.respuestaCrearrs = respuesta;
        guion.recordset = recordset;
        guion.valor012 = valor;
        ComponenteGrabador c(guion);

        QCOMPARE(GetUnidEst(c, "8901.10.00.000L", avisar), resultado);
        QCOMPARE(avisos, avisado ? QStringList{"Posicion Arancelaria No encontrada"} : QStringList{});
    }

    void filaSinRecordsetEsError_data()
    {
        QTest::addColumn<GuionGrabador::Recordset>("recordset");
        QTest::newRow("recordset quitado") << GuionGrabador::Recordset::Vaciar;
        QTest::newRow("recordset sin llenar") << GuionGrabador::Recordset::NoTocar;
    }

    void filaSinRecordsetEsError()
    {
        QFETCH(GuionGrabador::Recordset, recordset);
        GuionGrabador guion;
        guion.recordset = recordset;
        ComponenteGrabador c(guion);
        QVERIFY_THROWS_EXCEPTION(ErrorComponente, (void)GetUnidEst(c, "8901.10.00.000L", avisar));
        QVERIFY(avisos.isEmpty());
    }

    void resultadoDeUpdate_data()
    {
        QTest::addColumn<QVariant>("respuesta");
        QTest::addColumn<bool>("exito");
        QTest::newRow("una fila") << QVariant(1) << true;
        QTest::newRow("dos filas") << QVariant(qlonglong(2)) << true;
        QTest::newRow("ninguna fila") << QVariant(0) << false;
        QTest::newRow("desconocido") << QVariant(-1) << false;
        QTest::newRow("nulo") << QVariant() << false;
        QTest::newRow("no numerico") << QVariant("muchas") << false;
    }

    void resultadoDeUpdate()
    {
        QFETCH(QVariant, respuesta);
        QFETCH(bool, exito);
        GuionGrabador guion;
        guion.respuestaEjecutar = respuesta;
        ComponenteGrabador c(guion);
        QCOMPARE(EjecutarUpdate(c, "8901.10.00.000L", "05"), exito);
    }

    void erroresNoSeCapturan()
    {
        GuionGrabador guion;
        guion.errorEnSentencia = true;
        ComponenteGrabador c(guion);
        QVERIFY_THROWS_EXCEPTION(ErrorComponente, (void)GetUnidEst(c, "8901.10.00.000L", avisar));
        QVERIFY_THROWS_EXCEPTION(ErrorComponente, (void)EjecutarUpdate(c, "8901.10.00.000L", "05"));
        QVERIFY(avisos.isEmpty());
    }

    void registroPorNombreDeClase()
    {
        registrarClase("Prueba.Grabador", [] { return std::make_unique<ComponenteGrabador>(); });
        QVERIFY(dynamic_cast<ComponenteGrabador *>(CrearObjeto("Prueba.Grabador").get()));
        try {
            (void)CrearObjeto("Prueba.NoExiste");
            QFAIL("una clase desconocida debe ser un error del componente");
        } catch (const ErrorComponente &e) {
            QVERIFY(e.mensaje().contains("Prueba.NoExiste"));
        }
    }
};

QTEST_GUILESS_MAIN(TstSentencias)
#include "tst_sentencias.moc"
