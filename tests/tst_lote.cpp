// SPDX-License-Identifier: GPL-3.0-or-later
// Reading a batch file: separators, byte order mark, header, quotes, blanks, line
// numbers, and text that cannot be read as a batch.

#include "operaciones/Decision.h"
#include "operaciones/Lote.h"

#include <QtTest>

class TstLote : public QObject {
    Q_OBJECT

private slots:
    void leer_data()
    {
        QTest::addColumn<QByteArray>("datos");
        QTest::addColumn<QString>("separador");
        QTest::addColumn<bool>("cabecera");
        // Each row as "line:field|field...".
        QTest::addColumn<QStringList>("filas");
        QTest::addColumn<QString>("error");

        QTest::newRow("comas, sin cabecera") << QByteArray("8901.10.00.000L,07\n0101.21.00.100W,5\n") << "," << false
                                             << QStringList{"1:8901.10.00.000L|07", "2:0101.21.00.100W|5"} << "";
        QTest::newRow("punto y coma, BOM, CRLF, cabecera")
            << QByteArray("\xEF\xBB\xBFposicion;unidad\r\n8901.10.00.000L;7,5\r\n") << ";" << true
            << QStringList{"2:8901.10.00.000L|7,5"} << "";
        QTest::newRow("cabecera con acento y en mayusculas") << QByteArray("POSICIÓN,UNIDAD\n8901.10.00.000L,07") << ","
                                                             << true << QStringList{"2:8901.10.00.000L|07"} << "";
        QTest::newRow("cabecera entre comillas") << QByteArray("\"Posición\";\"Unidad\"\n8901.10.00.000L;07\n") << ";"
                                                 << true << QStringList{"2:8901.10.00.000L|07"} << "";
        QTest::newRow("cabecera solo en la primera linea")
            << QByteArray("8901.10.00.000L,07\nposicion,unidad\n") << "," << false
            << QStringList{"1:8901.10.00.000L|07", "2:posicion|unidad"} << "";
        QTest::newRow("solo CR, como en un Mac clasico")
            << QByteArray("posicion;unidad\r8901.10.00.000L;07\r\"a\rb\";1\r\r0101.21.00.100W;5") << ";" << true
            << QStringList{"2:8901.10.00.000L|07", "3:a\rb|1", "6:0101.21.00.100W|5"} << "";
        QTest::newRow("Latin-1 tras lineas con CR") << QByteArray("x,1\ry,2\r\nz\xf3,3\n") << "," << false
                                                    << QStringList{} << "la línea 3 no está escrita en UTF-8";
        QTest::newRow("el separador sale de la primera linea")
            << QByteArray("a,b\nc;d\n") << "," << false << QStringList{"1:a|b", "2:c;d"} << "";
        QTest::newRow("blancos y filas vacias")
            << QByteArray(" 8901.10.00.000L ,\t07 \n\n,,\n   \n0101.21.00.100W,09,") << "," << false
            << QStringList{"1:8901.10.00.000L|07", "5:0101.21.00.100W|09|"} << "";
        QTest::newRow("comillas") << QByteArray("\"8901.10.00.000L\",\"0\"\"7\"\n \"a,b\" , x\n\" c \",1\n") << ","
                                  << false << QStringList{"1:8901.10.00.000L|0\"7", "2:a,b|x", "3: c |1"} << "";
        QTest::newRow("comilla en medio del campo")
            << QByteArray("8901.10.00.000L',0\"7\n") << "," << false << QStringList{"1:8901.10.00.000L'|0\"7"} << "";
        QTest::newRow("campo citado de dos lineas")
            << QByteArray("\"a\nb\",1\nc,2\n") << "," << false << QStringList{"1:a\nb|1", "3:c|2"} << "";
        QTest::newRow("comillas sin cerrar") << QByteArray("x,1\n\"y,2\nz,3\n") << "," << false << QStringList{}
                                             << "la línea 2 abre unas comillas que no se cierran";
        QTest::newRow("Latin-1") << QByteArray("x,1\nposici\xf3n,unidad\n") << "," << false << QStringList{}
                                 << "la línea 2 no está escrita en UTF-8";
        QTest::newRow("campos citados vacios o en blanco")
            << QByteArray("\"\",\"\"\n\" \",1\n,\"\",\n\"\",x") << "," << false << QStringList{"2: |1", "4:|x"} << "";
        QTest::newRow("vacio") << QByteArray() << "," << false << QStringList{} << "";
    }

    void leer()
    {
        QFETCH(QByteArray, datos);
        QFETCH(QString, separador);
        QFETCH(bool, cabecera);
        QFETCH(QStringList, filas);
        QFETCH(QString, error);

        const ArchivoLote archivo = leerLote(datos);
        if (error.isEmpty())
            QVERIFY2(archivo.error.isEmpty(), qPrintable(archivo.error));
        else
            QVERIFY2(archivo.error.startsWith(error), qPrintable(archivo.error));
        QStringList leidas;
        for (const FilaLote &f : archivo.filas)
            leidas << QString::number(f.linea) + u':' + f.campos.join(u'|');
        QCOMPARE(leidas, filas);
        if (error.isEmpty()) {
            QCOMPARE(archivo.separador, separador.front());
            QCOMPARE(archivo.conCabecera, cabecera);
        }
    }

    // Rows are locked in the key's order, which is the positions' text order.
    void ordenDeBloqueo()
    {
        QByteArray datos;
        for (const char *p :
             {"8901.10.00.000L", "0101.21.00.100W", "8901.10.00.000A", "8901.09.99.999Z", "0101.21.00.100w",
              "9999.99.99.999Z", "0000.00.00.000A", "8901.10.00.000L", "5408.22.00.111F", "5408.22.00.111E"})
            datos += QByteArray(p) + ",07\n";
        const ArchivoLote archivo = leerLote(datos);
        Revisiones r;
        Unidades unidades(r.unidades);
        clasificar(archivo.filas, r, unidades);
        QVERIFY(r.posiciones.size() >= 8);
        QStringList esperadas, ordenadas;
        for (qint32 i = 0; i < qint32(r.posiciones.size()); ++i)
            esperadas << textoDe(r, i).toString();
        std::sort(esperadas.begin(), esperadas.end());
        for (const qint32 i : ordenarPorClave(r))
            ordenadas << textoDe(r, i).toString();
        QCOMPARE(ordenadas, esperadas);
    }
};

QTEST_GUILESS_MAIN(TstLote)
#include "tst_lote.moc"
