// SPDX-License-Identifier: GPL-3.0-or-later
// The SQLite connector against Qt's own driver, on the same file: the host's
// statements must give the same rows, values of the same types, and the same causes.
#include "PorQt.h"
#include "dam/Bloques.h"
#include "dam/ConectorSqlite.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <thread>

namespace {

// Keys that only a faithful road finds: quotes of both kinds, letters outside ASCII,
// one outside the BMP.
const char *const kEsquema[] = {
    "CREATE TABLE NCM (\"001\" TEXT, \"002\" TEXT, \"003\" TEXT, \"012\")",
    "INSERT INTO NCM VALUES ('8901.10.00', '000', 'L', '07'), ('8901.10.00', '000', 'Ō', 5), "
    "('a''b', '\"c\"', '😀', NULL), ('ħ', '000', 'L', 1.5)",
};

QString describir(const Respuesta &r)
{
    QStringList partes;
    if (r.fallo)
        partes << QStringLiteral("fallo %1 %2").arg(r.fallo->codigoSqlite).arg(r.fallo->textoBase);
    partes << QStringLiteral("columnas %1").arg(QStringList(r.columnas.begin(), r.columnas.end()).join(u'|'));
    for (const auto &fila : r.filas) {
        QStringList valores;
        for (const QVariant &v : fila)
            valores << (v.isNull() ? QStringLiteral("NULL") : QStringLiteral("%1:%2").arg(v.typeName(), v.toString()));
        partes << valores.join(u'|');
    }
    if (r.afectadas >= 0)
        partes << QStringLiteral("afectadas %1").arg(r.afectadas);
    return partes.join(u'\n');
}

} // namespace

class TstConector : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString ruta_;

    Direccion direccion() const { return leerDireccion(QStringLiteral("sqlite:") + ruta_); }

    // The same file through Qt's QSQLITE, opened once.
    QSqlDatabase qt() const
    {
        QSqlDatabase db = QSqlDatabase::database(QStringLiteral("qt"));
        if (!db.isValid()) {
            db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("qt"));
            db.setDatabaseName(ruta_);
            db.open();
        }
        return db;
    }

private slots:
    void initTestCase()
    {
        ruta_ = dir_.filePath(QStringLiteral("ncm.sqlite"));
        // SQLite takes an empty file for an empty database.
        QFile archivo(ruta_);
        QVERIFY(archivo.open(QIODevice::WriteOnly));
        archivo.close();
        const auto con = abrirSqlite(direccion(), 5);
        for (const char *sentencia : kEsquema) {
            const Respuesta r = con->ejecutar(QString::fromUtf8(sentencia), 0);
            QVERIFY2(!r.fallo, qPrintable(describir(r)));
        }
    }

    void comoElDriverDeQt_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<int>("maxFilas");
        QTest::addColumn<QString>("esperado");
        QTest::newRow("consulta de la ventana")
            << "Select [012] from Ncm Where  [001] = '8901.10.00' AND  [002] = '000' AND  [003] = 'L'" << 1
            << "columnas 012\nQString:07";
        QTest::newRow("tipos")
            << "SELECT 42, -7, 'ħ€😀', NULL, 1.5" << 1
            << "columnas 42|-7|'ħ€😀'|NULL|1.5\nqlonglong:42|qlonglong:-7|QString:ħ€😀|NULL|double:1.5";
        QTest::newRow("nombres entre comillas") << "SELECT \"012\" AS \"u\"\"v\", [001] || '.' FROM NCM" << 1
                                                << "columnas uv|[001] || '.'\nQString:07|QString:8901.10.00.";
        QTest::newRow("unidades de cada tipo") << "SELECT \"012\" FROM NCM ORDER BY rowid" << 10
                                               << "columnas 012\nQString:07\nqlonglong:5\nNULL\ndouble:1.5";
        QTest::newRow("solo la primera fila")
            << "SELECT \"003\" FROM NCM ORDER BY rowid" << 1 << "columnas 003\nQString:L";
        QTest::newRow("ninguna fila") << "SELECT \"012\" FROM NCM WHERE \"001\" = 'x'" << 1 << "columnas ";
        QTest::newRow("filas cambiadas") << "UPDATE NCM SET \"012\" = \"012\" WHERE \"002\" = '000'" << 0
                                         << "columnas \nafectadas 3";
        QTest::newRow("tabla que falta") << "SELECT * FROM falta" << 1 << "fallo 1 no such table: falta\ncolumnas ";
        QTest::newRow("NULL como nulo") << "SELECT [012] FROM NCM WHERE [003] = '😀' AND [001] = 'a''b'" << 1
                                        << "columnas 012\nNULL";
    }

    void comoElDriverDeQt()
    {
        QFETCH(QString, sql);
        QFETCH(int, maxFilas);
        QFETCH(QString, esperado);
        const auto sqlite = abrirSqlite(direccion(), 5);
        const QString propia = describir(sqlite->ejecutar(sql, std::size_t(maxFilas)));
        QCOMPARE(propia, esperado);
        QCOMPARE(propia, describir(ejecutarPorQt(qt(), sql, std::size_t(maxFilas))));
    }

    void bloques_data()
    {
        QTest::addColumn<QList<QStringList>>("claves");
        QTest::addColumn<QString>("esperado");
        QTest::newRow("una") << QList<QStringList>{{"8901.10.00", "000", "L"}} << "columnas \nqlonglong:0|QString:07";
        QTest::newRow("comillas y un emoji")
            << QList<QStringList>{{"x", "y", "z"}, {"a'b", "\"c\"", "😀"}} << "columnas \nqlonglong:1|NULL";
        QTest::newRow("fuera de ASCII") << QList<QStringList>{{"8901.10.00", "000", "Ō"}, {"ħ", "000", "L"}}
                                        << "columnas \nqlonglong:0|qlonglong:5\nqlonglong:1|double:1.5";
        QTest::newRow("ninguna") << QList<QStringList>{{"8901.10.00", "000", "O"}, {"h", "000", "L"}} << "columnas ";
    }

    // The parameter road (the sqlite3 connector) against the literal one (Qt's).
    void bloques()
    {
        QFETCH(QList<QStringList>, claves);
        QFETCH(QString, esperado);
        std::vector<PositionKey> posiciones;
        std::vector<std::pair<PositionKey, QString>> cambios;
        for (const QStringList &c : claves) {
            posiciones.push_back({c[0], c[1], c[2]});
            cambios.emplace_back(posiciones.back(), QStringLiteral("99"));
        }
        const auto sqlite = abrirSqlite(direccion(), 5);
        const QString json = jsonDeClaves(posiciones);
        // Columns are not asked of a chunk's answer; only its rows count.
        const auto sinColumnas = [](Respuesta r) {
            r.columnas.clear();
            return describir(r);
        };
        QCOMPARE(sinColumnas(sqlite->consultarBloque(json, false)), esperado);
        QCOMPARE(sinColumnas(
                     ejecutarPorQt(qt(), textoConsultaEnBloque(DialectoDeBloque::Sqlite, json, false), kTodasLasFilas)),
                 esperado);

        // One row of the key for each key found, as the lookup found them.
        QVERIFY(!sqlite->comenzar(Transacciones::Aislamiento::Confirmada));
        Respuesta r = sqlite->actualizarBloque(jsonDeCambios(cambios));
        sqlite->revertir();
        QVERIFY2(!r.fallo, qPrintable(describir(r)));
        QCOMPARE(qsizetype(r.filas.size()), esperado.count(u'\n'));
        QVERIFY(qt().transaction());
        r = ejecutarPorQt(qt(), textoUpdateEnBloque(DialectoDeBloque::Sqlite, jsonDeCambios(cambios)), kTodasLasFilas);
        QVERIFY(qt().rollback());
        QVERIFY2(!r.fallo, qPrintable(describir(r)));
        QCOMPARE(qsizetype(r.filas.size()), esperado.count(u'\n'));
        QCOMPARE(sinColumnas(sqlite->consultarBloque(json, false)), esperado);
    }

    // The chunk's statement is kept prepared; a new connection must prepare it anew,
    // and a stop must reach the statement running on the new connection.
    void reabrirYDetener()
    {
        const auto con = abrirSqlite(direccion(), 5);
        const QString json = jsonDeClaves({{"8901.10.00", "000", "L"}});
        const QString antes = describir(con->consultarBloque(json, false));
        QVERIFY(!con->reabrir());
        QCOMPARE(describir(con->consultarBloque(json, false)), antes);

        const FilasEnBloque::Cancelacion cancelacion = con->cancelacion();
        QVERIFY(cancelacion.cancelar);
        QVERIFY(!con->detenida());
        std::thread detener([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            cancelacion.cancelar(cancelacion.datos);
        });
        const Respuesta r = con->ejecutar(QStringLiteral("WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 "
                                                         "FROM c WHERE x < 300000000) SELECT count(*) FROM c"),
                                          1);
        detener.join();
        QVERIFY(r.fallo);
        QCOMPARE(r.fallo->codigoSqlite, 9); // SQLITE_INTERRUPT
        QVERIFY(con->detenida());
    }

    void apertura_data()
    {
        QTest::addColumn<QString>("caso");
        QTest::addColumn<QString>("dice");
        QTest::newRow("falta") << "falta"
                               << "No existe la base de datos";
        QTest::newRow("carpeta") << "carpeta"
                                 << "es una carpeta, no un archivo de base de datos";
        // Opens: SQLite reads nothing of the file until the first statement.
        QTest::newRow("no es una base") << "texto"
                                        << "";
    }

    void apertura()
    {
        QFETCH(QString, caso);
        QFETCH(QString, dice);
        QTemporaryDir dir;
        const QString ruta = dir.filePath(QStringLiteral("ncm.sqlite"));
        if (caso == u"carpeta") {
            QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("ncm.sqlite")));
        } else if (caso == u"texto") {
            QFile archivo(ruta);
            QVERIFY(archivo.open(QIODevice::WriteOnly));
            archivo.write(QByteArray(4096, 'x'));
        }
        const Direccion d = leerDireccion(QStringLiteral("sqlite:") + ruta);
        if (!dice.isEmpty()) {
            try {
                (void)abrirSqlite(d, 5);
                QFAIL("abrió lo que no es una base de datos");
            } catch (const ErrorComponente &e) {
                QVERIFY2(e.mensaje().contains(dice), qPrintable(e.mensaje()));
            }
            // Never created.
            QCOMPARE(QFileInfo(ruta).isFile(), false);
            return;
        }
        const Respuesta r = abrirSqlite(d, 5)->ejecutar(QStringLiteral("SELECT 1 FROM NCM"), 1);
        QVERIFY(r.fallo);
        QCOMPARE(r.fallo->codigoSqlite, 26); // SQLITE_NOTADB
        QCOMPARE(causaDeSentencia(*r.fallo, QStringLiteral("NCM"), 5).texto,
                 QStringLiteral("el archivo de la base de datos está dañado"));
    }
};

QTEST_GUILESS_MAIN(TstConector)
#include "tst_conector.moc"
