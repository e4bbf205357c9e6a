// SPDX-License-Identifier: GPL-3.0-or-later
// The floor for start-up: a QApplication and one empty QWidget, shown, then quit,
// the same way telquin_arranque quits. With --texto the window also holds a label
// and a line edit, which is what makes Qt build its font database: the floor for
// any window that shows text.

#include "SalirAlMostrar.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QWidget>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    SalirAlMostrar<QWidget> salir;
    app.installEventFilter(&salir);
    QWidget ventana;
    if (app.arguments().contains(QStringLiteral("--texto"))) {
        new QLabel(QStringLiteral("Posición arancelaria"), &ventana);
        (new QLineEdit(&ventana))->move(0, 30);
    }
    ventana.show();
    return app.exec() == 0 && salir.visto() ? 0 : 1;
}
