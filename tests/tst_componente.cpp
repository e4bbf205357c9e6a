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
const QString kEmoji = QString::fromUtf8("\xF0\x9F\x98\x80");

// What half of a pair became when a driver sent it: "?" (PostgreSQL) or U+FFFD.
const QStringList kSustitutos = {QStringLiteral("?"), QString(QChar(0xFFFD))};

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

    // A cut that splits a pair leaves half of it in a key value; nothing of it reaches
    // the server, so the rows its halves would become there keep their unit, on every
    // road. The table has those rows, for each thing a half may turn into.
    void caracterPartido_data()
    {
        QTest::addColumn<QString>("sNcm");
        QTest::addColumn<QString>("sUnidEst");
        QTest::addColumn<bool>("claveVedada");
        const QChar alta(0xD83D);
        QTest::newRow("emoji entre sufijo y letra") << "0101.21.00.10" + kEmoji << "44" << true;
        QTest::newRow("emoji en el carácter 11") << "0101.21.0" + kEmoji + "100W"
                                                 << "44" << true;
        QTest::newRow("emoji después de la letra") << "0101.21.00.100" + kEmoji << "44" << true;
        QTest::newRow("media pareja sola en la letra") << "0101.21.00.100" + QString(alta) << "44" << true;
        QTest::newRow("media pareja en la unidad") << "0101.21.00.100W"
                                                   << "0" + QString(alta) << false;
    }

    void caracterPartido()
    {
        QFETCH(QString, sNcm);
        QFETCH(QString, sUnidEst);
        QFETCH(bool, claveVedada);
        for (const QString &x : kSustitutos)
            for (const QString &fila :
                 {"('0101.21.00', '10" + x + "', '" + x + "', '44')", "('0101.21.0" + x + "', '100', 'W', '44')",
                  "('0101.21.00', '100', '" + x + "', '44')"})
                base->ejecutar("INSERT INTO NCM (\"001\", \"002\", \"003\", \"012\") VALUES " + fila);
        const QStringList antes = base->filas();
        QCOMPARE(antes.filter("|44").size(), 6);

        QCOMPARE(consultar(sNcm) == NotFoundMarker, claveVedada);
        QCOMPARE(ActualizarUnidad(*oDAM, sNcm, sUnidEst), 0LL);
        QCOMPARE(DeshacerUnidad(*oDAM, sNcm, QString("09"), "44"), 0LL);
        QCOMPARE(DeshacerUnidad(*oDAM, sNcm, sUnidEst, "09"), 0LL);
        auto *bloques = dynamic_cast<FilasEnBloque *>(oDAM.get());
        QVERIFY(bloques && bloques->admiteBloques());
        const PositionKey clave = cortarPosicion(sNcm);
        const auto leidas = bloques->consultarUnidades({clave, cortarPosicion(kPosicion)}, false);
        QCOMPARE(leidas.size(), std::size_t(2));
        QCOMPARE(leidas[0].has_value(), !claveVedada);
        QCOMPARE(leidas[1].value_or("<sin fila>").toString(), QString("07"));
        const auto cambiadas = bloques->actualizarUnidades({{clave, sUnidEst}, {cortarPosicion(kPosicion), "08"}});
        QCOMPARE(cambiadas, (std::vector<qlonglong>{0, 1}));
        QStringList esperado = antes;
        esperado.replace(esperado.indexOf("8901.10.00|000|L|07"), "8901.10.00|000|L|08");
        QCOMPARE(base->filas(), esperado);
    }

    // A whole character outside Latin-1 is text like any other, on the way there and
    // back: its row, and only its row, is found and changed.
    void caracterEnteroEnLaClave_data()
    {
        QTest::addColumn<QString>("sNcm");
        QTest::newRow("en el código") << kEmoji + "01.21.00.100W";
        QTest::newRow("en el sufijo") << "0101.21.00.1" + kEmoji + "W";
        QTest::newRow("letra griega") << QString::fromUtf8("0101.21.00.100\xCE\xA9");
    }

    void caracterEnteroEnLaClave()
    {
        QFETCH(QString, sNcm);
        QVERIFY(esPosicionValida(sNcm));
        const PositionKey k = cortarPosicion(sNcm);
        QSqlQuery q(base->db());
        q.prepare(R"(INSERT INTO NCM ("001", "002", "003", "012") VALUES (?, ?, ?, '31'))");
        for (const QString &v : {k.primero, k.segundo, k.tercero})
            q.addBindValue(v);
        QVERIFY2(q.exec(), qPrintable(q.lastError().text()));
        QStringList esperado = base->filas();

        QCOMPARE(consultar(sNcm), QString("31"));
        QCOMPARE(ActualizarUnidad(*oDAM, sNcm, "32"), 1LL);
        QCOMPARE(base->unidad(k.primero, k.segundo, k.tercero), QString("32"));
        QCOMPARE(DeshacerUnidad(*oDAM, sNcm, QString("31"), "32"), 1LL);
        auto *bloques = dynamic_cast<FilasEnBloque *>(oDAM.get());
        QVERIFY(bloques);
        const auto leidas = bloques->consultarUnidades({k}, false);
        QCOMPARE(leidas.front().value_or("<sin fila>").toString(), QString("31"));
        QCOMPARE(bloques->actualizarUnidades({{k, "33"}}), std::vector<qlonglong>{1});
        esperado.replace(esperado.indexOf(QStringList{k.primero, k.segundo, k.tercero, "31"}.join(u'|')),
                         QStringList{k.primero, k.segundo, k.tercero, "33"}.join(u'|'));
        QCOMPARE(base->filas(), esperado);
    }

    // A host whose unit column holds integers: the lookups read numbers, and every
    // update, one row or a whole chunk, stores the unit as the column's type.
    void unidadEnColumnaEntera()
    {
        base->recrearConColumna("\"012\" INTEGER", "CAST(\"012\" AS INTEGER)");
        const UnidadLeida leida = ConsultarUnidad(*oDAM, kPosicion);
        QVERIFY(leida.encontrada);
        QCOMPARE(textoDeUnidad(leida.valor), QString("7"));
        QCOMPARE(consultar(kPosicion), QString("7"));

        auto *bloques = dynamic_cast<FilasEnBloque *>(oDAM.get());
        QVERIFY(bloques);
        const std::vector<PositionKey> claves = {cortarPosicion(kPosicion), cortarPosicion("9503.00.10.000B"),
                                                 cortarPosicion("0101.21.00.100W"), cortarPosicion("8901.10.00.000M")};
        const auto leidas = bloques->consultarUnidades(claves, false);
        QCOMPARE(leidas.size(), std::size_t(4));
        QCOMPARE(leidas[0].value_or("<sin fila>").toLongLong(), 7LL);
        QVERIFY(leidas[1] && leidas[1]->isNull());
        QCOMPARE(leidas[2].value_or("<sin fila>").toLongLong(), 9LL);
        QVERIFY(!leidas[3]);

        auto *t = dynamic_cast<Transacciones *>(oDAM.get());
        QVERIFY(t);
        t->comenzarTransaccion();
        const auto cambiadas
            = bloques->actualizarUnidades({{claves[0], "05"}, {claves[1], "42"}, {claves[2], "-3"}, {claves[3], "01"}});
        t->confirmarTransaccion();
        QCOMPARE(cambiadas, (std::vector<qlonglong>{1, 1, 1, 0}));
        QCOMPARE(base->unidadDe(kPosicion), QString("5"));
        QCOMPARE(base->unidadDe("9503.00.10.000B"), QString("42"));
        QCOMPARE(base->unidadDe("0101.21.00.100W"), QString("-3"));
        QCOMPARE(bloques->consultarUnidades({claves[0]}, true).front().value_or("<sin fila>").toLongLong(), 5LL);

        QCOMPARE(ActualizarUnidad(*oDAM, kPosicion, "11"), 1LL);
        QCOMPARE(DeshacerUnidad(*oDAM, kPosicion, QString("05"), "11"), 1LL);
        QCOMPARE(base->unidadDe(kPosicion), QString("5"));
    }

    // A key column the server compares otherwise than the text sent: on SQLite a
    // case-blind one, whose row comes back under another key than the one sent, an
    // error; PostgreSQL names each row by the key sent, so a padded char(n) column
    // counts its rows.
    void filaDeOtraClaveEnElTrozo()
    {
        auto *bloques = dynamic_cast<FilasEnBloque *>(oDAM.get());
        auto *t = dynamic_cast<Transacciones *>(oDAM.get());
        QVERIFY(bloques && t);
        if (base->esSqlite()) {
            base->recrearConColumna("\"003\" TEXT COLLATE NOCASE", "\"003\"");
            const QStringList antes = base->filas();
            t->comenzarTransaccion();
            try {
                (void)bloques->actualizarUnidades({{{"8901.10.00", "000", "l"}, "05"}});
                QFAIL("una fila que no es de ninguna clave enviada debe ser un error");
            } catch (const ErrorComponente &e) {
                QVERIFY2(e.mensaje().contains("ninguna de las posiciones enviadas"), qPrintable(e.mensaje()));
                QVERIFY2(e.mensaje().contains("[1 posiciones]"), qPrintable(e.mensaje()));
            }
            t->revertirTransaccion();
            QCOMPARE(base->filas(), antes);
        } else {
            base->recrearConColumna("\"003\" CHAR(2)", "\"003\"");
            QCOMPARE(bloques->actualizarUnidades({{cortarPosicion(kPosicion), "05"}}), std::vector<qlonglong>{1});
            QCOMPARE(
                bloques->consultarUnidades({cortarPosicion(kPosicion)}, false).front().value_or(QVariant()).toString(),
                QString("05"));
        }
    }

    // Through psqlODBC's ANSI driver the driver manager turns each half of a pair (and,
    // under the C locale, any character but ASCII) into its low byte: pairs can spell
    // another row's key on the server. With a driver that is not Unicode, no text but
    // ASCII is sent; every road raises an error that names the driver, and the row
    // those bytes spell keeps its unit.
    void parejasPorUnControladorAnsi()
    {
        const QString elegida = qEnvironmentVariable("TELQUIN_TEST_DB");
        if (!elegida.startsWith("odbc"))
            QSKIP("only through ODBC");
        const QString unicode = urlDePrueba("odbc");
        const QString ansi = QString(unicode).replace("psqlodbcw.so", "psqlodbca.so");
        if (ansi == unicode || !QFile::exists(ansi.section("Driver=", 1).section(';', 0, 0)))
            QSKIP("psqlODBC's ANSI driver is not installed");
        oDAM.reset();
        qputenv("DAM_DATABASE_URL", ansi.toUtf8());
        oDAM = CrearObjeto(kClaseDAM);
        oDAM->loadparameters();
        const auto deletreo = [](const char *bytes) {
            QString texto;
            for (const char *b = bytes; *b; b += 2) {
                texto.append(QChar(char16_t(0xD800 | uchar(b[0]))));
                texto.append(QChar(char16_t(0xDC00 | uchar(b[1]))));
            }
            return texto;
        };
        const QString posicion
            = deletreo("8901") + "." + deletreo("10") + "." + deletreo("00") + "." + deletreo("00") + "0L";
        QVERIFY(esPosicionValida(posicion));
        QVERIFY(!esVedada(cortarPosicion(posicion)));
        const QStringList antes = base->filas();
        const auto rechazada = [](const auto &paso) {
            try {
                paso();
            } catch (const ErrorComponente &e) {
                return e.mensaje().contains("Unicode");
            }
            return false;
        };
        QVERIFY(rechazada([&] { (void)consultar(posicion); }));
        QVERIFY(rechazada([&] { (void)ActualizarUnidad(*oDAM, posicion, "44"); }));
        QVERIFY(rechazada([&] { (void)ActualizarUnidad(*oDAM, kPosicion, kEmoji); }));
        QVERIFY(rechazada([&] { (void)DeshacerUnidad(*oDAM, posicion, QString("44"), "07"); }));
        auto *bloques = dynamic_cast<FilasEnBloque *>(oDAM.get());
        QVERIFY(bloques);
        QVERIFY(rechazada([&] { (void)bloques->consultarUnidades({cortarPosicion(posicion)}, false); }));
        QVERIFY(rechazada([&] { (void)bloques->actualizarUnidades({{cortarPosicion(posicion), "44"}}); }));
        QCOMPARE(base->filas(), antes);
        // Nor any other text that is not ASCII: under the C locale "Ō" would reach the
        // server as "L".
        QVERIFY(rechazada([&] { (void)consultar(QString::fromUtf8("0101.21.00.100\xC5\x8C")); }));
        QCOMPARE(base->filas(), antes);
        QCOMPARE(consultar(kPosicion), QString("07"));
        QCOMPARE(ActualizarUnidad(*oDAM, kPosicion, "44"), 1LL);
    }

    // The session each server connection gets, directly or through ODBC: locks waited
    // for up to the limit, literals read as written, a client gone noticed, UTF-8.
    void ajustesDeLaSesion()
    {
        if (base->esSqlite())
            QSKIP("SQLite has no server session");
        const auto cn = oDAM->getDataConnectionByEntity("NCM");
        cn->setSQL("SELECT current_setting('lock_timeout') AS bloqueos, current_setting("
                   "'standard_conforming_strings') AS literales, current_setting('client_connection_check_interval') "
                   "AS vigilancia, pg_client_encoding() AS codificacion");
        std::unique_ptr<Recordset> rs;
        QVERIFY(cn->crearrs(rs).toBool());
        QCOMPARE(rs->Fields("bloqueos").toString(), QString("5s"));
        QCOMPARE(rs->Fields("literales").toString(), QString("on"));
        QCOMPARE(rs->Fields("vigilancia").toString(), QString("1s"));
        QCOMPARE(rs->Fields("codificacion").toString(), QString("UTF8"));
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
