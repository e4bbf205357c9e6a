// SPDX-License-Identifier: GPL-3.0-or-later
// The published list's line reader: each kind of code, units, the two encodings,
// what the description's cleaning does, the ends of lines, and the headings above
// each position.

#include "ListaDePrueba.h"
#include "lista/Lineas.h"

#include <QtTest>

using lista_de_prueba::linea;

Q_DECLARE_METATYPE(TipoDeLinea)

class TstLineasDeLista : public QObject {
    Q_OBJECT

private slots:
    void lineas_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<TipoDeLinea>("tipo");
        QTest::addColumn<QString>("codigo");
        QTest::addColumn<QString>("digitos");
        QTest::addColumn<QString>("unidad");
        QTest::addColumn<QString>("descripcion");
        const auto P = TipoDeLinea::Posicion;
        const auto E = TipoDeLinea::Encabezado;
        const auto I = TipoDeLinea::Ilegible;

        QTest::newRow("posicion") << linea("5408.22.00.111F", "01", "       De densidad   inferior") << P
                                  << "5408.22.00.111F"
                                  << "54082200111"
                                  << "01"
                                  << "De densidad inferior";
        QTest::newRow("posicion sin unidad") << linea("0000.01.03.100Q", "", "      LECHE") << P << "0000.01.03.100Q"
                                             << "00000103100"
                                             << ""
                                             << "LECHE";
        QTest::newRow("capitulo con punto") << linea("63.05", "", "SACOS (BOLSAS)") << E << "63.05"
                                            << "6305"
                                            << ""
                                            << "SACOS (BOLSAS)";
        QTest::newRow("subpartida de un digito") << linea("6305.3", "", "-De materias sintéticas:") << E << "6305.3"
                                                 << "63053"
                                                 << ""
                                                 << "De materias sintéticas:";
        QTest::newRow("encabezado de ocho digitos con unidad")
            << linea("2939.20.00", "01", "-Alcaloides de la quina (chinchona) y sus  derivados") << E << "2939.20.00"
            << "29392000"
            << "01"
            << "Alcaloides de la quina (chinchona) y sus derivados";
        QTest::newRow("encabezado de nueve digitos")
            << linea("5408.22.00.1", "", "      De filamentos de acetato (R.979/00 ME)") << E << "5408.22.00.1"
            << "540822001"
            << ""
            << "De filamentos de acetato (R.979/00 ME)";
        QTest::newRow("utf-8") << linea("5408.22.00", "", "--Teñidos") << E << "5408.22.00"
                               << "54082200"
                               << ""
                               << "Teñidos";
        QTest::newRow("windows-1252") << QByteArray("2@5408.22.00      @@@@@@@  @  @--Te\xf1idos y \x80 \x93x\x94") << E
                                      << "5408.22.00"
                                      << "54082200"
                                      << ""
                                      << "Teñidos y € “x”";
        QTest::newRow("letra perdida") << linea("5408.22.00.119Y", "01", "Las dem?s") << P << "5408.22.00.119Y"
                                       << "54082200119"
                                       << "01"
                                       << "Las dem?s";
        QTest::newRow("tabulador y guiones de la profundidad")
            << linea("5408.22.00.111F", "01", " - -De 30 hilos\t\t   por cm2 - ancho ") << P << "5408.22.00.111F"
            << "54082200111"
            << "01"
            << "De 30 hilos por cm2 - ancho";
        QTest::newRow("comillas angulares")
            << linea("6305.10.00.100J", "01", "-De yute <<en bruto>>") << P << "6305.10.00.100J"
            << "63051000100"
            << "01"
            << "De yute «en bruto»";
        QTest::newRow("arroba en la descripcion")
            << linea("8901.10.00.000L", "07", "Barcos @ vela") << P << "8901.10.00.000L"
            << "89011000000"
            << "07"
            << "Barcos @ vela";
        QTest::newRow("otro tipo") << QByteArray("3@9503.00.99@ARANCEL@0") << TipoDeLinea::OtroTipo << ""
                                   << ""
                                   << ""
                                   << "";
        QTest::newRow("en blanco") << QByteArray(" \t ") << TipoDeLinea::Vacia << ""
                                   << ""
                                   << ""
                                   << "";
        QTest::newRow("binario") << QByteArray("\x89PNG\r\x1a\x00\x00", 8) << I << ""
                                 << ""
                                 << ""
                                 << "";
        QTest::newRow("cortada") << QByteArray("2@5408.22.00.111F @000.00@005.00@01") << I << ""
                                 << ""
                                 << ""
                                 << "";
        QTest::newRow("codigo que no es") << linea("ABCD.22", "", "x") << I << "ABCD.22"
                                          << ""
                                          << ""
                                          << "";
        QTest::newRow("letra minuscula") << linea("5408.22.00.111f", "01", "x") << I << "5408.22.00.111f"
                                         << ""
                                         << ""
                                         << "";
        QTest::newRow("posicion demasiado larga") << linea("5408.22.00.111FF", "01", "x") << I << "5408.22.00.111FF"
                                                  << ""
                                                  << ""
                                                  << "";
        QTest::newRow("tipo que no es numero") << QByteArray("x@5408.22.00.111F @@@@@@@01@@y") << I << ""
                                               << ""
                                               << ""
                                               << "";
    }

    void lineas()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(TipoDeLinea, tipo);
        const LineaDeLista l = leerLineaDeLista(bytes);
        QCOMPARE(l.tipo, tipo);
        QTEST(l.codigo, "codigo");
        if (tipo == TipoDeLinea::Ilegible)
            return;
        QTEST(l.digitos, "digitos");
        QTEST(l.unidad, "unidad");
        QTEST(l.descripcion, "descripcion");
    }

    void finesDeLinea_data()
    {
        QTest::addColumn<QByteArray>("texto");
        QTest::addColumn<QStringList>("lineas"); // "number:text"
        QTest::newRow("LF") << QByteArray("a\nb\n") << QStringList{"1:a", "2:b"};
        QTest::newRow("CRLF") << QByteArray("a\r\nb\r\n") << QStringList{"1:a", "2:b"};
        QTest::newRow("CR") << QByteArray("a\rb\r") << QStringList{"1:a", "2:b"};
        QTest::newRow("mezclados y vacias")
            << QByteArray("a\r\n\nb\r\rc") << QStringList{"1:a", "2:", "3:b", "4:", "5:c"};
        QTest::newRow("ultima sin fin") << QByteArray("a\r\nb") << QStringList{"1:a", "2:b"};
        QTest::newRow("CR al final") << QByteArray("a\r") << QStringList{"1:a"};
        QTest::newRow("vacio") << QByteArray() << QStringList();
    }

    void finesDeLinea()
    {
        QFETCH(QByteArray, texto);
        DivisorDeLineas divisor(texto);
        QByteArrayView linea;
        qint64 numero = 0;
        QStringList vistas;
        while (divisor.siguiente(linea, numero))
            vistas << QString::number(numero) + u':' + QString::fromLatin1(linea);
        QTEST(vistas, "lineas");
        QCOMPARE(divisor.leido(), texto.size());
    }

    // Each position lies under the headings whose digits start its own; a heading
    // closes those that do not hold it, whatever their depth.
    void encabezados()
    {
        CaminoDeEncabezados camino;
        camino.encabezado("6305", "SACOS");
        QCOMPARE(camino.sobre("63051000100"), QStringList{"SACOS"});
        camino.encabezado("63053", "Sintéticos");
        camino.encabezado("63053200", "Continentes");
        camino.encabezado("630532001", "De tiras");
        QCOMPARE(camino.sobre("63053200110"), (QStringList{"SACOS", "Sintéticos", "Continentes", "De tiras"}));
        QCOMPARE(camino.sobre("63053200900"), (QStringList{"SACOS", "Sintéticos", "Continentes"}));
        // A heading at the same depth replaces its sibling.
        camino.encabezado("63053300", "Otros");
        QCOMPARE(camino.sobre("63053300000"), (QStringList{"SACOS", "Sintéticos", "Otros"}));
        QCOMPARE(camino.sobre("63059000000"), QStringList{"SACOS"});
        camino.encabezado("8901", "BARCOS");
        QCOMPARE(camino.sobre("89011000000"), QStringList{"BARCOS"});
        // A position under no heading of its own.
        QCOMPARE(camino.sobre("95030099000"), QStringList());
    }
};

QTEST_GUILESS_MAIN(TstLineasDeLista)
#include "tst_lineas_de_lista.moc"
