// SPDX-License-Identifier: GPL-3.0-or-later
// A session that ends (SIGTERM) while F9 stores a change: the change is stored and
// journaled, its box shown, and only then does the window close, with status 143.

#include "ComponenteGrabador.h"
#include "LecturaDeBitacora.h"
#include "MensajesDePrueba.h"
#include "ui/Aplicacion.h"
#include "ui/Frm_Telquin.h"

#include <QApplication>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <csignal>

class TstSenalesVentana : public QObject {
    Q_OBJECT

private slots:
    void senalDuranteF9()
    {
        QTemporaryDir estado;
        qputenv("XDG_STATE_HOME", estado.path().toUtf8());
        GuionGrabador guion;
        guion.alEjecutar = [] { (void)std::raise(SIGTERM); };
        MensajesDePrueba mensajes;
        mensajes.respuestas = {true};
        QTimer::singleShot(0, [] {
            for (QWidget *w : QApplication::topLevelWidgets())
                if (auto *frm = qobject_cast<Frm_Telquin *>(w)) {
                    QTest::keyClicks(frm->findChild<QLineEdit *>("txtNcm"), "8901.10.00.000L");
                    QTest::keyClicks(frm->findChild<QLineEdit *>("txtUnidEstNEW"), "5");
                    QTest::keyClick(frm->findChild<QLineEdit *>("txtUnidEstNEW"), Qt::Key_F9);
                }
        });
        const int salida
            = ejecutarTelquin(*qApp, mensajes, [guion] { return std::make_unique<ComponenteGrabador>(guion); });
        QCOMPARE(salida, 128 + SIGTERM);
        QVERIFY2(mensajes.textos().last().startsWith("Cambio en la Ncm 8901.10.00.000L realizado correctamente:"),
                 qPrintable(mensajes.textos().join(" | ")));
        const QList<Anotacion> anotadas = leerBitacora(estado.filePath("telquin/cambios.csv"));
        QCOMPARE(anotadas.size(), 1);
        QCOMPARE(anotadas.front().nueva, QString("05"));
        qunsetenv("XDG_STATE_HOME");
    }
};

QTEST_MAIN(TstSenalesVentana)
#include "tst_senales_ventana.moc"
