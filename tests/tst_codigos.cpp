// SPDX-License-Identifier: GPL-3.0-or-later
#include "codes/Codigos.h"
#include "codes/Unidades.h"

#include <QtTest>

class TstCodigos : public QObject {
    Q_OBJECT

private slots:
    void posicion_data()
    {
        QTest::addColumn<QString>("texto");
        QTest::addColumn<bool>("valida");
        QTest::addColumn<QString>("primero");
        QTest::addColumn<QString>("segundo");
        QTest::addColumn<QString>("tercero");

        QTest::newRow("ejemplo") << "8901.10.00.000L" << true << "8901.10.00"
                                 << "000"
                                 << "L";
        QTest::newRow("digito al final") << "8901.10.00.0001" << false << "8901.10.00"
                                         << "000"
                                         << "1";
        QTest::newRow("14 caracteres") << "8901.10.00.000" << false << "8901.10.00"
                                       << "000"
                                       << "";
        QTest::newRow("vacio") << "" << false << ""
                               << ""
                               << "";
        QTest::newRow("guiones en vez de puntos") << "8901-10-00-000L" << false << "8901-10-00"
                                                  << "000"
                                                  << "L";
        QTest::newRow("solo se miran puntos y final") << "ABCD.EF.GH.IJKL" << true << "ABCD.EF.GH"
                                                      << "IJK"
                                                      << "L";
        QTest::newRow("minuscula") << "8901.10.00.000l" << true << "8901.10.00"
                                   << "000"
                                   << "l";
        QTest::newRow("blanco al final") << "8901.10.00.000 " << true << "8901.10.00"
                                         << "000"
                                         << " ";
        QTest::newRow("12 caracteres") << "8901.10.00.0" << false << "8901.10.00"
                                       << "0"
                                       << "";
        QTest::newRow("7 caracteres") << "8901.10" << false << "8901.10"
                                      << ""
                                      << "";
        QTest::newRow("16 caracteres") << "8901.10.00.000LX" << false << "8901.10.00"
                                       << "000"
                                       << "L";
        QTest::newRow("punto corrido en 4") << "890.110.00.000L" << false << "890.110.00"
                                            << "000"
                                            << "L";
        QTest::newRow("punto corrido en 9") << "8901.10.0.0000L" << false << "8901.10.0."
                                            << "000"
                                            << "L";
        QTest::newRow("punto corrido en 12") << "8901.10.000.00L" << false << "8901.10.00"
                                             << ".00"
                                             << "L";
        // Arabic-Indic and fullwidth digits are not digits here: the position is valid.
        QTest::newRow("digito arabe-indico al final")
            << QString("8901.10.00.000") + QChar(0x0661) << true << "8901.10.00"
            << "000" << QString(QChar(0x0661));
        QTest::newRow("digito de ancho completo al final")
            << QString("8901.10.00.000") + QChar(0xFF11) << true << "8901.10.00"
            << "000" << QString(QChar(0xFF11));
        QTest::newRow("comilla dentro") << "8901.10.00.0'0L" << true << "8901.10.00"
                                        << "0'0"
                                        << "L";
    }

    void posicion()
    {
        QFETCH(QString, texto);
        QFETCH(bool, valida);
        QCOMPARE(esPosicionValida(texto), valida);
        QFETCH(QString, primero);
        QFETCH(QString, segundo);
        QFETCH(QString, tercero);
        const PositionKey clave = cortarPosicion(texto);
        QCOMPARE(clave.primero, primero);
        QCOMPARE(clave.segundo, segundo);
        QCOMPARE(clave.tercero, tercero);
    }

    void letra_data()
    {
        QTest::addColumn<QString>("texto");
        QTest::addColumn<QString>("letra"); // empty: no letter can be given
        QTest::newRow("ejemplo") << "8901.10.00.000"
                                 << "L";
        QTest::newRow("otro ejemplo") << "0101.21.00.100"
                                      << "W";
        QTest::newRow("0000.01.01.000") << "0000.01.01.000"
                                        << "V";
        QTest::newRow("3004.90.19.900") << "3004.90.19.900"
                                        << "E";
        QTest::newRow("8471.30.11.000") << "8471.30.11.000"
                                        << "U";
        QTest::newRow("8517.13.00.000") << "8517.13.00.000"
                                        << "C";
        QTest::newRow("7415.33.00.110") << "7415.33.00.110"
                                        << "M";
        QTest::newRow("resto cero") << "0000.00.00.000"
                                    << "A";
        QTest::newRow("resto 22") << "0000.00.00.028"
                                  << "Z";
        QTest::newRow("letra equivocada") << "8901.10.00.000M"
                                          << "L";
        QTest::newRow("letra en minuscula") << "8901.10.00.000l"
                                            << "L";
        QTest::newRow("13 caracteres") << "8901.10.00.00"
                                       << "";
        QTest::newRow("guiones") << "8901-10-00-000L"
                                 << "";
        QTest::newRow("letras en vez de digitos") << "ABCD.EF.GH.IJKL"
                                                  << "";
    }

    void letra()
    {
        QFETCH(QString, texto);
        QFETCH(QString, letra);
        const std::optional<QChar> dada = letraDeControl(texto);
        QCOMPARE(dada ? QString(*dada) : QString(), letra);
    }

    void unidad_data()
    {
        QTest::addColumn<QString>("tecleado");
        QTest::addColumn<QString>("formateado");
        QTest::addColumn<bool>("valida");

        QTest::newRow("un digito") << "5"
                                   << "05" << true;
        QTest::newRow("dos digitos") << "05"
                                     << "05" << true;
        QTest::newRow("noventa y nueve") << "99"
                                         << "99" << true;
        QTest::newRow("cero") << "0"
                              << "00" << true;
        QTest::newRow("vacio") << ""
                               << "" << false;
        QTest::newRow("letras") << "ab"
                                << "ab" << false;
        QTest::newRow("negativo") << "-1"
                                  << "-01" << false;
        QTest::newRow("blanco delante") << " 5"
                                        << "05" << true;
        QTest::newRow("blanco detras") << "5 "
                                       << "05" << true;
        QTest::newRow("separador detras") << "1."
                                          << "01" << true;
        QTest::newRow("separador delante") << ".7"
                                           << "01" << true;
        QTest::newRow("coma decimal") << "4,2"
                                      << "04" << true;
        QTest::newRow("signo mas") << "+5"
                                   << "05" << true;
        QTest::newRow("signo solo") << "-"
                                    << "-" << false;
        QTest::newRow("separador solo") << "."
                                        << "." << false;
        QTest::newRow("blancos solos") << "  "
                                       << "  " << false;
        QTest::newRow("dos separadores") << "1.2.3"
                                         << "1.2.3" << false;
        QTest::newRow("signo tras blanco interior") << "- 5"
                                                    << "- 5" << false;
        QTest::newRow("tres digitos") << "123"
                                      << "123" << false;
        QTest::newRow("ceros delante") << "007"
                                       << "07" << true;
        QTest::newRow("mitad hacia arriba") << ".5"
                                            << "01" << true;
        QTest::newRow("mitad par no se queda") << "2.5"
                                               << "03" << true;
        QTest::newRow("mitad negativa se aleja de cero") << "-2.5"
                                                         << "-03" << false;
        QTest::newRow("menos de la mitad") << "2.49"
                                           << "02" << true;
        QTest::newRow("redondeo que suma cifra") << "99.5"
                                                 << "100" << false;
        QTest::newRow("cero negativo") << "-0.4"
                                       << "00" << true;
        QTest::newRow("numero enorme sin desbordar") << "99999999999999999999.9"
                                                     << "100000000000000000000" << false;
        QTest::newRow("digito arabe-indico") << QString(QChar(0x0665)) << QString(QChar(0x0665)) << false;
        QTest::newRow("digito de ancho completo") << QString(QChar(0xFF15)) << QString(QChar(0xFF15)) << false;
        QTest::newRow("comilla") << "5'"
                                 << "5'" << false;
    }

    void unidad()
    {
        QFETCH(QString, tecleado);
        QFETCH(QString, formateado);
        QFETCH(bool, valida);
        QCOMPARE(formatearUnidad(tecleado), formateado);
        QCOMPARE(esUnidadValida(formatearUnidad(tecleado)), valida);
    }

    void nombreDeUnidad_data()
    {
        QTest::addColumn<QString>("codigo");
        QTest::addColumn<QString>("nombre"); // empty: not an official code
        QTest::newRow("unidad") << "07"
                                << "UNIDAD";
        QTest::newRow("par") << "08"
                             << "PAR";
        QTest::newRow("con puntos y guion") << "12"
                                            << "MEGA-U. INT. ACT. ANTIB";
        QTest::newRow("otras") << "98"
                               << "OTRAS UNIDADES";
        QTest::newRow("hueco en la tabla") << "38"
                                           << "";
        QTest::newRow("sin formatear") << "7"
                                       << "";
    }

    void nombreDeUnidad()
    {
        QFETCH(QString, codigo);
        QFETCH(QString, nombre);
        const std::optional<QString> dado = ::nombreDeUnidad(codigo);
        QCOMPARE(dado.value_or(QString()), nombre);
    }

    void tablaDeUnidades()
    {
        const QStringList codigos = codigosDeUnidad();
        QCOMPARE(codigos.size(), 52);
        for (qsizetype i = 0; i < codigos.size(); ++i) {
            if (i > 0)
                QVERIFY2(codigos[i - 1] < codigos[i], qPrintable(codigos[i]));
            // Found by the same search the window uses, which needs the order.
            QVERIFY2(!::nombreDeUnidad(codigos[i]).value_or(QString()).isEmpty(), qPrintable(codigos[i]));
        }
    }

    void numerico_data()
    {
        QTest::addColumn<QString>("texto");
        QTest::addColumn<bool>("numerico");
        QTest::newRow("digitos") << "12" << true;
        QTest::newRow("signo y separador") << "-1." << true;
        QTest::newRow("separador y digito") << ".5" << true;
        QTest::newRow("exponente") << "1e2" << false;
        QTest::newRow("hexadecimal") << "0x1" << false;
        QTest::newRow("signo detras") << "5-" << false;
        QTest::newRow("dos signos") << "+-5" << false;
        QTest::newRow("tabulador") << "\t5" << false;
    }

    void numerico()
    {
        QFETCH(QString, texto);
        QFETCH(bool, numerico);
        QCOMPARE(esNumerico(texto), numerico);
    }
};

QTEST_APPLESS_MAIN(TstCodigos)
#include "tst_codigos.moc"
