// SPDX-License-Identifier: GPL-3.0-or-later
#include "Aplicacion.h"
#include "Linea.h"
#include "Mensajes.h"
#include "Salida.h"

#include <QApplication>

int main(int argc, char **argv)
{
    abrirDescriptoresEstandar();
    if (argc > 1)
        return ejecutarLinea(argc, argv);
    QApplication app(argc, argv);
    MensajesQt mensajes;
    return ejecutarTelquin(app, mensajes);
}
