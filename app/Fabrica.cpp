// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Fabrica.h"

#include "dam/ComponenteDAM.h"

FabricaComponente fabricaDelPrograma()
{
    registrarComponenteDAM();
    return [] { return CrearObjeto(kClaseDAM); };
}
