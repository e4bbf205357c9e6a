// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Linea.h"
#include "cli/Salida.h"
#include "dam/ComponenteDAM.h"
#include "ui/Aplicacion.h"
#include "ui/Mensajes.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    abrirDescriptoresEstandar();
    registrarComponenteDAM();
    if (argc > 1)
        return ejecutarLinea(argc, argv);
    if (!hayPantalla()) {
        std::fputs("telquin: no se encontró una pantalla para la ventana; `telquin --help` lista las órdenes que "
                   "no la necesitan.\n",
                   stderr);
        return 1;
    }
    QApplication app(argc, argv);
    MensajesQt mensajes;
    return ejecutarTelquin(app, mensajes);
}
