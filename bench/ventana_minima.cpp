// SPDX-License-Identifier: GPL-3.0-or-later
// The floor for any window: a QApplication and one empty QWidget, shown, then quit,
// the same way telquin_arranque quits. It lays out no text, so Qt never builds its
// font database: a window with text starts above it (bench/ventana_rotulada.cpp).

#include "SalirAlMostrar.h"

#include <QApplication>
#include <QWidget>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    SalirAlMostrar<QWidget> salir;
    app.installEventFilter(&salir);
    QWidget ventana;
    ventana.show();
    return app.exec() == 0 && salir.visto() ? 0 : 1;
}
