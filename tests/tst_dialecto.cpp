// SPDX-License-Identifier: GPL-3.0-or-later
#include "dam/Dialecto.h"

#include <QtTest>

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
    }

    void corchetes()
    {
        QFETCH(QString, sql);
        QFETCH(QString, reescrita);
        const Citador citar = [](const QString &n) { return '"' + n + '"'; };
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
    }

    void variasSentencias()
    {
        QFETCH(QString, sql);
        QFETCH(bool, varias);
        QCOMPARE(adaptarSentencia(sql, nullptr).varias, varias);
    }
};

QTEST_APPLESS_MAIN(TstDialecto)
#include "tst_dialecto.moc"
