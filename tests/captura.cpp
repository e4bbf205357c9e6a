// SPDX-License-Identifier: GPL-3.0-or-later
// Renders the warning box and the window, with a looked-up position and a new unit
// typed, to PNG files: telquin_captura DIRECTORIO. Needs DAM_DATABASE_URL.

#include "dam/ComponenteDAM.h"
#include "ui/Aplicacion.h"
#include "ui/Frm_Telquin.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    registrarComponenteDAM();
    cargarTraducciones(app);
    const QString destino = app.arguments().value(1, QStringLiteral("."));

    MensajesQt mensajes;
    Frm_Telquin frm(mensajes, fabricaRegistrada());
    bool aviso = false;
    QTimer::singleShot(0, [&] {
        auto *caja = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!caja)
            return;
        aviso = caja->grab().save(destino + QStringLiteral("/aviso.png"));
        caja->button(QMessageBox::Yes)->click();
    });
    if (!frm.Form_Load() || !aviso)
        return 1;
    frm.show();
    if (!QTest::qWaitForWindowExposed(&frm))
        return 1;
    QTest::keyClicks(frm.findChild<QLineEdit *>(QStringLiteral("txtNcm")), QStringLiteral("0101.21.00.100X"));
    QTest::keyClick(frm.findChild<QLineEdit *>(QStringLiteral("txtNcm")), Qt::Key_Return);
    QTest::keyClicks(frm.findChild<QLineEdit *>(QStringLiteral("txtUnidEstNEW")), QStringLiteral("5"));
    return frm.grab().save(destino + QStringLiteral("/ventana.png")) ? 0 : 1;
}
