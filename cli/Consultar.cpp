// SPDX-License-Identifier: GPL-3.0-or-later
// telquin consultar POSICION: the position, its unit and the unit's name.

#include "cli/Linea.h"
#include "cli/Ordenes.h"
#include "codes/Codigos.h"
#include "codes/Unidades.h"
#include "data/Sentencias.h"
#include "operaciones/Textos.h"

namespace {

int consultar(Contexto &contexto, const Pedido &pedido);

} // namespace

Orden ordenConsultar()
{
    return {QStringLiteral("consultar"),
            {{QStringLiteral("POSICION"), Clase::Posicion}},
            {},
            QStringLiteral("muestra la unidad de una posición"),
            QStringLiteral("Escribe la posición, su unidad estadística y el nombre de la\n"
                           "unidad (\"código no oficial\" si no está en la tabla oficial;\n"
                           "vacío si la posición no tiene unidad)."),
            false,
            consultar};
}

namespace {

int consultar(Contexto &contexto, const Pedido &pedido)
{
    const QString &posicion = pedido.argumentos[0];
    if (!esPosicionValida(posicion)) {
        avisar(contexto, kPrefijo + kFormatoIncorrecto);
        return estado::kProblemaDeDatos;
    }
    const auto oDAM = contexto.componente();
    const UnidadLeida leida = ConsultarUnidad(*oDAM, posicion);
    if (!leida.encontrada) {
        avisar(contexto, kPrefijo + kPosicionNoEncontrada);
        return estado::kProblemaDeDatos;
    }
    const QString unidad = textoDeUnidad(leida.valor);
    contexto.salida.linea({posicion, unidad, descripcionDeUnidad(codigoDeUnidad(leida.valor))});
    return estado::kHecho;
}

} // namespace
