// SPDX-License-Identifier: GPL-3.0-or-later
// telquin consultar POSICION: the position, its unit and the unit's name.

#include "cli/Linea.h"
#include "cli/Ordenes.h"
#include "codes/Codigos.h"
#include "codes/Unidades.h"
#include "data/Sentencias.h"
#include "operaciones/Textos.h"

namespace {

// The official code a stored unit stands for: a number (a unit column of integers)
// is the code of its two digits, 7 standing for "07"; a text is the code itself.
QString codigoDeUnidad(const QVariant &valor)
{
    const QString texto = textoDeUnidad(valor);
    switch (valor.typeId()) {
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return formatearUnidad(texto);
    default:
        return texto;
    }
}

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
