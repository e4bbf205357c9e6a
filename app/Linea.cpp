// SPDX-License-Identifier: GPL-3.0-or-later
// The command line's module: what the program does when it starts with arguments.
#include "cli/Linea.h"
#include "app/Fabrica.h"
#include "app/Modulos.h"
#include "cli/Salida.h"

#include <QtGlobal>

#include <type_traits>

extern "C" Q_DECL_EXPORT int telquin_entrada(int argc, char **argv)
{
    const bool salidaCerrada = abrirDescriptoresEstandar();
    return ejecutarLinea(argc, argv, salidaCerrada, fabricaDelPrograma());
}
static_assert(std::is_same_v<decltype(&telquin_entrada), EntradaDeModulo>);
