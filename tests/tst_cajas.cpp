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
    // The label's width and its longest line's; its height at its width and unbounded.
    int ancho = 0;
    int lineaMayor = 0;
    int alto = 0;
    int altoSinLimite = 0;
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
        const QLabel *etiqueta = caja->findChild<QLabel *>("qt_msgbox_label");
        vista.lineas = etiqueta->text().split(u'\n');
        for (const QString &linea : std::as_const(vista.lineas))
            vista.lineaMayor = qMax(vista.lineaMayor, etiqueta->fontMetrics().horizontalAdvance(linea));
        vista.ancho = etiqueta->contentsRect().width();
        vista.alto = etiqueta->heightForWidth(etiqueta->width());
        vista.altoSinLimite = etiqueta->heightForWidth(100000);
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

    // The start-up warning and the success box keep their lines as written: Qt's own
    // box wraps any text at 500 pixels.
    void lineasEnteras_data()
    {
        QTest::addColumn<bool>("pregunta");
        QTest::addColumn<QString>("texto");
        QTest::newRow("aviso de inicio")
            << true
            << "Esta utilidad permite modificar la unidad estadistica de las posiciones arancelarias\r\nque "
               "especifique.\r\n\r\nEl uso de esta utilidad corre bajo su propia responsabilidad.\r\n\r\nDesea "
               "continuar?";
        QTest::newRow("cambio realizado") << false
                                          << "Cambio en la Ncm 8901.10.00.000L realizado correctamente:\r\n\r\nUnidad "
                                             "Estadistica anterior:07\r\nUnidad Estadistica actual:05";
        QTest::newRow("línea más larga") << false << QString("Una línea larga, ").repeated(6) + "\r\nfin";
    }

    void lineasEnteras()
    {
        QFETCH(bool, pregunta);
        QFETCH(QString, texto);
        MensajesQt mensajes;
        Vista vista;
        leerYCerrar(vista);
        if (pregunta)
            (void)mensajes.preguntarSiNo("Telquin   v1.0.1", texto, Mensajes::Icono::Informacion, true);
        else
            mensajes.mostrar("Telquin", texto, Mensajes::Icono::Informacion);
        QCOMPARE(vista.lineas, texto.split("\r\n"));
        const QString medidas = QStringLiteral("etiqueta de %1 px, línea mayor de %2 px, alto %3 en vez de %4")
                                    .arg(vista.ancho)
                                    .arg(vista.lineaMayor)
                                    .arg(vista.alto)
                                    .arg(vista.altoSinLimite);
        QVERIFY2(vista.ancho >= vista.lineaMayor, qPrintable(medidas));
        QVERIFY2(vista.alto == vista.altoSinLimite, qPrintable(medidas));
    }

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
