// SPDX-License-Identifier: GPL-3.0-or-later
// The real QMessageBox and the fields' context menu, as the user meets them: closed
// from a timer, never blocking the run.

#include "ui/Aplicacion.h"
#include "ui/Mensajes.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

namespace {

struct Vista {
    QString titulo;
    QStringList lineas;
    QStringList botones;
    QString porDefecto;
    QMessageBox::Icon icono = QMessageBox::NoIcon;
};

QString sinAtajo(QString t) { return t.remove(u'&'); }

// Reads the box once it is open, then closes it with Enter (its default button). The
// timer keeps looking until the box is there, so it cannot fire too early and leave
// the box waiting for a key that never comes.
void leerYCerrar(Vista &vista)
{
    auto *buscador = new QTimer(qApp);
    buscador->setInterval(10);
    QObject::connect(buscador, &QTimer::timeout, [&vista, buscador] {
        auto *caja = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!caja || !caja->isVisible())
            return;
        buscador->stop();
        buscador->deleteLater();
        vista.titulo = caja->windowTitle();
        vista.lineas = caja->findChild<QLabel *>("qt_msgbox_label")->text().split(u'\n');
        for (QAbstractButton *b : caja->buttons())
            vista.botones << sinAtajo(b->text());
        vista.botones.sort();
        if (caja->defaultButton())
            vista.porDefecto = sinAtajo(caja->defaultButton()->text());
        vista.icono = caja->icon();
        QTest::keyClick(caja, Qt::Key_Return);
    });
    buscador->start();
}

} // namespace

class TstCajas : public QObject {
    Q_OBJECT

    void probarEnEspanol()
    {
        MensajesQt mensajes;
        Vista vista;
        leerYCerrar(vista);
        QVERIFY(
            !mensajes.preguntarSiNo("Telquin   v1.0.1", "uno\r\ndos\r\n\r\ntres", Mensajes::Icono::Informacion, true));
        QCOMPARE(vista.titulo, QString("Telquin   v1.0.1"));
        QCOMPARE(vista.lineas, (QStringList{"uno", "dos", "", "tres"}));
        QCOMPARE(vista.botones, (QStringList{"No", "Sí"}));
        QCOMPARE(vista.porDefecto, QString("No"));
        QCOMPARE(vista.icono, QMessageBox::Information);

        vista = {};
        leerYCerrar(vista);
        mensajes.mostrar("Telquin", "Error", Mensajes::Icono::Critico);
        QCOMPARE(vista.botones, QStringList{"Aceptar"});
        QCOMPARE(vista.icono, QMessageBox::Critical);

        QLineEdit campo;
        campo.setText("x");
        std::unique_ptr<QMenu> menu(campo.createStandardContextMenu());
        QStringList acciones;
        for (QAction *a : menu->actions())
            if (!a->isSeparator())
                acciones << sinAtajo(a->text()).section(u'\t', 0, 0);
        QVERIFY2(acciones.contains("Copiar") && acciones.contains("Pegar") && acciones.contains("Deshacer")
                     && acciones.contains("Seleccionar todo"),
                 qPrintable(acciones.join(", ")));
    }

    void quitarTraducciones()
    {
        for (QTranslator *t : qApp->findChildren<QTranslator *>()) {
            QApplication::removeTranslator(t);
            delete t;
        }
    }

private slots:
    void cleanup() { quitarTraducciones(); }

    void conLasTraduccionesDeQt()
    {
        cargarTraducciones(*qApp);
        probarEnEspanol();
    }

    void sinLasTraduccionesDeQt()
    {
        QTemporaryDir vacio;
        cargarTraducciones(*qApp, vacio.path());
        probarEnEspanol();
    }
};

QTEST_MAIN(TstCajas)
#include "tst_cajas.moc"
