// SPDX-License-Identifier: GPL-3.0-or-later
// telquin consultar POSICION: the position, its unit and the unit's name.

#include "cli/Linea.h"
#include "cli/Ordenes.h"
#include "cli/Salida.h"
#include "codes/Codigos.h"
#include "codes/Unidades.h"
#include "data/Sentencias.h"
#include "operaciones/Textos.h"

int consultar(const QString &posicion)
{
    if (!esPosicionValida(posicion)) {
        avisar(kPrefijo + kFormatoIncorrecto);
        return estado::kProblemaDeDatos;
    }
    const auto oDAM = abrirComponente();
    const UnidadLeida leida = ConsultarUnidad(*oDAM, posicion);
    if (!leida.encontrada) {
        avisar(kPrefijo + kPosicionNoEncontrada);
        return estado::kProblemaDeDatos;
    }
    const QString unidad = textoDeUnidad(leida.valor);
    salida().linea({posicion, unidad, descripcionDeUnidad(unidad)});
    return estado::kHecho;
}
