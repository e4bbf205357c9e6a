// SPDX-License-Identifier: GPL-3.0-or-later
// The floor for Telquin's window: a Qt window with Frm_Telquin's widgets, texts,
// fonts, colours and geometry, made by the same layout functions (ui/Disposicion),
// with no database, no component, no translations and no journal. Shown, then quit
// the way telquin_arranque quits.

#include "SalirAlMostrar.h"
#include "ui/Disposicion.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>

namespace {

class VentanaRotulada final : public QWidget {
    Q_OBJECT

public:
    VentanaRotulada()
    {
        namespace d = disposicion;
        setWindowTitle(QStringLiteral("ZAFKELO Telquin   v1.0.1"));
        setFixedSize(enPixeles(d::kVentana).size());
        auto *shape = new QFrame(this);
        shape->setGeometry(enPixeles(d::kShape));
        shape->setAutoFillBackground(true);
        colorear(shape, QPalette::Window, Qt::white);
        shape->lower();

        QLabel *version = etiqueta(this, "Lbl_Version", QStringLiteral("Version compatible unicamente con MIRVOLA 3"),
                                   d::kLbl_Version);
        version->setFont(fuente(QStringLiteral("MS Sans Serif"), 8.25));
        colorear(version, QPalette::WindowText, QColor(192, 0, 0));
        QLabel *ncm = etiqueta(this, "Lbl_Ncm", QStringLiteral("Posicion Arancelaria"), d::kLbl_Ncm);
        QLineEdit *txtNcm = campo(this, "txtNcm", 15, d::kTxtNcm, ncm);
        (void)etiqueta(this, "Lbl_Va", QStringLiteral("Valor Actual"), d::kLbl_Va);
        (void)etiqueta(this, "Label2", QStringLiteral("Modificar a"), d::kLabel2);
        QLabel *actual = etiqueta(this, "Lbl_UnidEst", QStringLiteral("Unidad Estadistica"), d::kLbl_UnidEst);
        QLabel *nueva = etiqueta(this, "Label1", QStringLiteral("Unidad Estadistica"), d::kLabel1);
        nueva->setAutoFillBackground(true);
        campo(this, "txtUnidEst", 2, d::kTxtUnidEst, actual)->setReadOnly(true);
        (void)campo(this, "txtUnidEstNEW", 2, d::kTxtUnidEstNEW, nueva);
        QLabel *menu
            = etiqueta(this, "Lbl_Menu", QStringLiteral("[F9] - Guardar Cambio   [ESC] - Salir "), d::kLbl_Menu);
        menu->setAutoFillBackground(true);
        colorear(menu, QPalette::Window, QColor(224, 224, 224));
        menu->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        (void)nota(this, "Lbl_NombreUnidEst", d::kLbl_NombreUnidEst);
        (void)nota(this, "Lbl_NombreUnidEstNEW", d::kLbl_NombreUnidEstNEW);
        colorear(nota(this, "Lbl_Pista", d::kLbl_Pista), QPalette::WindowText, kGrisApagado);
        setFocusProxy(txtNcm);
        txtNcm->setFocus();
    }
};

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    SalirAlMostrar<VentanaRotulada> salir;
    app.installEventFilter(&salir);
    VentanaRotulada ventana;
    ventana.show();
    return app.exec() == 0 && salir.visto() ? 0 : 1;
}

#include "ventana_rotulada.moc"
