// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Modulos.h"

int main(int argc, char **argv)
{
    return ejecutarModulo(argc > 1 ? TELQUIN_MODULO_LINEA : TELQUIN_MODULO_VENTANA, argc, argv);
}
