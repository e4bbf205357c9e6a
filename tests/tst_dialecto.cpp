// SPDX-License-Identifier: GPL-3.0-or-later
#include "dam/Apertura.h"
#include "dam/Dialecto.h"
#include "dam/FormaSqlite.h"
#include "data/Avisos.h"
#include "data/Contrato.h"

#include <QtTest>

namespace {

// Quotes as a server does: between double quotes, each one inside doubled. Every name
// is written into the same buffer, so a text that kept what an earlier call returned
// would show the later name.
class CitadorDePrueba final : public Citador {
public:
    QStringView citar(QStringView nombre) override
    {
        citado_ = u'"' + nombre.toString().replace(u'"', QStringLiteral("\"\"")) + u'"';
        return citado_;
    }

private:
    QString citado_;
};

} // namespace

class TstDialecto : public QObject {
    Q_OBJECT

private slots:
    void corchetes_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("reescrita");
        QTest::newRow("consulta")
            << "Select [012] from Ncm Where  [001] = '8901.10.00' AND  [002] = '000' AND  [003] = 'L'"
            << "Select \"012\" from Ncm Where  \"001\" = '8901.10.00' AND  \"002\" = '000' AND  \"003\" = 'L'";
        QTest::newRow("corchetes en un literal") << "Update NCM SET [012] = '[001]' WHERE  [001] = 'a[b]c'"
                                                 << "Update NCM SET \"012\" = '[001]' WHERE  \"001\" = 'a[b]c'";
        QTest::newRow("comillas dobladas")
            << "Select [012] from Ncm Where  [001] = 'x'' [002] ''y' AND [003] = ''''"
            << "Select \"012\" from Ncm Where  \"001\" = 'x'' [002] ''y' AND \"003\" = ''''";
        QTest::newRow("identificador entre comillas") << "Select \"[012]\" from t"
                                                      << "Select \"[012]\" from t";
        QTest::newRow("comentarios") << "Select [012] -- [001]\n/* [002] */ from t"
                                     << "Select \"012\" -- [001]\n/* [002] */ from t";
        QTest::newRow("literal sin cerrar") << "Select [012] from t where a = '[001]"
                                            << "Select \"012\" from t where a = '[001]";
        QTest::newRow("corchete sin cerrar") << "Select [012"
                                             << "Select [012";
        QTest::newRow("solo un nombre") << "[012]"
                                        << "\"012\"";
        QTest::newRow("nombres seguidos") << "Select [001][002],[003]"
                                          << "Select \"001\"\"002\",\"003\"";
        QTest::newRow("corchetes vacíos") << "Select [] from t"
                                          << "Select \"\" from t";
        QTest::newRow("comilla dentro de un nombre") << "Select [a\"b], [c'd] from t where x = '[e]'"
                                                     << "Select \"a\"\"b\", \"c'd\" from t where x = '[e]'";
        QTest::newRow("guion y barra que no abren comentario") << "Select [a]-[b]/[c] from t"
                                                               << "Select \"a\"-\"b\"/\"c\" from t";
        QTest::newRow("comentario de bloque que empieza con */") << "Select [a] /*/ [b] */ [c]"
                                                                 << "Select \"a\" /*/ [b] */ \"c\"";
        QTest::newRow("comentario de línea sin fin de línea") << "Select [a] -- [b]"
                                                              << "Select \"a\" -- [b]";
        QTest::newRow("texto no ASCII") << "Select [año] from Ñandú where x = 'ó[a]'"
                                        << "Select \"año\" from Ñandú where x = 'ó[a]'";
    }

    void corchetes()
    {
        QFETCH(QString, sql);
        QFETCH(QString, reescrita);
        CitadorDePrueba citar;
        QCOMPARE(adaptarSentencia(sql, &citar).texto, reescrita);
    }

    void variasSentencias_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<bool>("varias");
        QTest::newRow("una") << "Update NCM SET [012] = '05' WHERE  [001] = 'x'" << false;
        QTest::newRow("punto y coma final") << "Select 1;  " << false;
        QTest::newRow("punto y coma y comentario") << "Select 1; -- fin" << false;
        QTest::newRow("dos") << "Select 1; Select 2" << true;
        QTest::newRow("dos sin blanco") << "Select 1;Delete from NCM" << true;
        QTest::newRow("punto y coma en un literal") << "Select 1 where a = ';x' and b = ''';Drop'" << false;
        QTest::newRow("punto y coma en un identificador") << "Select [a;b], \"c;d\" from t" << false;
        QTest::newRow("punto y coma en un comentario") << "Select 1 /* ; Drop */ -- ;Drop" << false;
        QTest::newRow("literal tras el final") << "Select 1; 'x'" << true;
        QTest::newRow("identificador tras el final") << "Select 1;[x]" << true;
        QTest::newRow("comentario y luego un nombre tras el final") << "Select 1; /* x */ [y]" << true;
        QTest::newRow("solo blancos tras el final") << "Select 1;\t\n; ;" << false;
    }

    void variasSentencias()
    {
        QFETCH(QString, sql);
        QFETCH(bool, varias);
        QCOMPARE(adaptarSentencia(sql, nullptr).varias, varias);
        CitadorDePrueba citar;
        QCOMPARE(adaptarSentencia(sql, &citar).varias, varias);
    }

    // Each ODBC session setting the server refuses is named; the one without which a
    // literal would be read otherwise stops the opening.
    void ajustesDeSesion_data()
    {
        QTest::addColumn<bool>("postgres");
        QTest::addColumn<QStringList>("rechazados"); // the start of each statement the server refuses
        QTest::addColumn<int>("sentencias"); // how many are sent
        QTest::addColumn<QStringList>("avisos"); // a piece of each warning, in order
        QTest::addColumn<bool>("error");
        QTest::newRow("todos aceptados") << true << QStringList() << 3 << QStringList() << false;
        QTest::newRow("sin espera por bloqueos")
            << true << QStringList{"SET lock_timeout"} << 3
            << QStringList{"«SET lock_timeout = 7000»: se trabaja sin límite de espera por bloqueos"} << false;
        QTest::newRow("sin vigilancia de la conexión")
            << true << QStringList{"SET client_connection_check_interval"} << 3
            << QStringList{"«SET client_connection_check_interval = 1000»"} << false;
        QTest::newRow("literales con escapes")
            << true << QStringList{"SET standard_conforming_strings"} << 2 << QStringList() << true;
        QTest::newRow("otro servidor") << false << QStringList{"SET lock_timeout"} << 1
                                       << QStringList{"sin límite de espera por bloqueos"} << false;
        QTest::newRow("otro servidor que acepta") << false << QStringList() << 1 << QStringList() << false;
    }

    void ajustesDeSesion()
    {
        QFETCH(bool, postgres);
        QFETCH(QStringList, rechazados);
        QFETCH(int, sentencias);
        QFETCH(QStringList, avisos);
        QFETCH(bool, error);
        QStringList recibidos;
        recibirAvisos([&](const QString &aviso) { recibidos << aviso; });
        QStringList enviadas;
        // The reason names the row: a warning is told once a run, whatever test gave it.
        const QString razon = QStringLiteral("rechazo de prueba: %1").arg(QTest::currentDataTag());
        const EjecutorDeAjuste servidor = [&](const QString &sentencia) -> std::optional<QString> {
            enviadas << sentencia;
            for (const QString &r : rechazados)
                if (sentencia.startsWith(r))
                    return razon;
            return std::nullopt;
        };
        // Opened twice, as after a lost connection: each warning is told once.
        for (int vez = 0; vez < 2; ++vez) {
            bool fallo = false;
            try {
                ajustarSesionOdbc(servidor, postgres, 7);
            } catch (const ErrorComponente &e) {
                fallo = true;
                QVERIFY2(e.mensaje().contains("«SET standard_conforming_strings = on»") && e.mensaje().contains(razon),
                         qPrintable(e.mensaje()));
            }
            QCOMPARE(fallo, error);
        }
        recibirAvisos([](const QString &) {});
        QCOMPARE(enviadas.size(), 2 * sentencias);
        QCOMPARE(enviadas.value(0), QString("SET lock_timeout = 7000"));
        QCOMPARE(recibidos.size(), avisos.size());
        for (qsizetype i = 0; i < avisos.size(); ++i) {
            QVERIFY2(recibidos[i].contains(avisos[i]), qPrintable(recibidos[i]));
            QVERIFY2(recibidos[i].contains(razon), qPrintable(recibidos[i]));
        }
    }

    // Which literals of a statement become parameters of a prepared form. "-" for a
    // statement run as written.
    void formaConParametros_data()
    {
        QTest::addColumn<QByteArray>("sql");
        QTest::addColumn<QByteArray>("forma");
        QTest::addColumn<QList<QByteArray>>("valores");

        QTest::newRow("consulta de una posicion")
            << QByteArray("SELECT [012] FROM NCM WHERE [001] = '8901.10.00' AND [002] = '000' AND [003] = 'L'")
            << QByteArray("SELECT [012] FROM NCM WHERE [001] = ? AND [002] = ? AND [003] = ?")
            << QList<QByteArray>{"8901.10.00", "000", "L"};
        QTest::newRow("el SET queda escrito")
            << QByteArray("Update NCM SET [012] = '07' WHERE [001]='a''b'")
            << QByteArray("Update NCM SET [012] = '07' WHERE [001]=?") << QList<QByteArray>{"a'b"};
        QTest::newRow("comentarios y nombres con comillas")
            << QByteArray("select \"a'\" from t -- 'x'\n where [b'] <> 'y' /* 'z' */ and `c` >= 'ü'")
            << QByteArray("select \"a'\" from t -- 'x'\n where [b'] <> ? /* 'z' */ and `c` >= ?")
            << QList<QByteArray>{"y", "ü"};
        QTest::newRow("subconsulta") << QByteArray("SELECT 'k' FROM t WHERE a IN (SELECT b FROM u WHERE c = 'x')")
                                     << QByteArray("SELECT 'k' FROM t WHERE a IN (SELECT b FROM u WHERE c = ?)")
                                     << QList<QByteArray>{"x"};
        QTest::newRow("blob, concatenacion, LIKE")
            << QByteArray("DELETE FROM t WHERE b = x'00' AND c LIKE 'a%' AND d = 'p' || 'q'")
            << QByteArray("DELETE FROM t WHERE b = x'00' AND c LIKE 'a%' AND d = ? || 'q'") << QList<QByteArray>{"p"};
        QTest::newRow("WHERE solo dentro de parentesis")
            << QByteArray("SELECT (SELECT 1 FROM u WHERE c = 'x')") << QByteArray("-") << QList<QByteArray>{};
        QTest::newRow("ya tiene parametros")
            << QByteArray("SELECT a FROM t WHERE b = ? AND c = 'x'") << QByteArray("-") << QList<QByteArray>{};
        QTest::newRow("parametro con nombre")
            << QByteArray("SELECT a FROM t WHERE b = :b AND c = 'x'") << QByteArray("-") << QList<QByteArray>{};
        QTest::newRow("vista") << QByteArray("CREATE VIEW v AS SELECT a FROM t WHERE b = 'x'") << QByteArray("-")
                               << QList<QByteArray>{};
        QTest::newRow("disparador tras comentario")
            << QByteArray("/* x */ CREATE TRIGGER g AFTER UPDATE ON t BEGIN DELETE FROM u WHERE a = 'x'; END")
            << QByteArray("-") << QList<QByteArray>{};
        QTest::newRow("comillas sin cerrar")
            << QByteArray("SELECT a FROM t WHERE b = 'x") << QByteArray("-") << QList<QByteArray>{};
    }

    void formaConParametros()
    {
        QFETCH(QByteArray, sql);
        QFETCH(QByteArray, forma);
        QFETCH(QList<QByteArray>, valores);
        const std::optional<FormaDeSentencia> hecha = ::formaConParametros(sql);
        QCOMPARE(hecha ? hecha->texto : QByteArray("-"), forma);
        QCOMPARE(hecha ? QList<QByteArray>(hecha->valores.begin(), hecha->valores.end()) : QList<QByteArray>{},
                 valores);
    }
};

QTEST_APPLESS_MAIN(TstDialecto)
#include "tst_dialecto.moc"
