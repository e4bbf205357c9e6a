// SPDX-License-Identifier: GPL-3.0-or-later
// telquin cambiar POSICION UNIDAD: F9 from the command line.

#include "cli/Linea.h"
#include "cli/Ordenes.h"
#include "cli/Salida.h"
#include "codes/Codigos.h"
#include "data/Sentencias.h"
#include "operaciones/Cambio.h"
#include "operaciones/Textos.h"

int cambiar(const QString &posicion, const QString &unidadEscrita)
{
    if (!esPosicionValida(posicion)) {
        avisar(kPrefijo + kFormatoIncorrecto);
        return estado::kProblemaDeDatos;
    }
    const QString unidad = formatearUnidad(unidadEscrita);
    const auto oDAM = abrirComponente();
    const UnidadLeida leida = ConsultarUnidad(*oDAM, posicion);
    if (!leida.encontrada) {
        avisar(kPrefijo + kPosicionNoEncontrada);
        return estado::kProblemaDeDatos;
    }
    if (!esUnidadValida(unidad)) {
        avisar(kPrefijo + kVerifiqueLosDatos
               + QStringLiteral(": la unidad debe tener dos dígitos (Ej. 07), no «%1».").arg(unidadEscrita));
        return estado::kProblemaDeDatos;
    }
    const QString anterior = textoDeUnidad(leida.valor);
    const ResultadoCambio cambio = guardarCambio(*oDAM, posicion, anterior, unidad, QStringLiteral("linea"));
    if (!cambio.guardado()) {
        avisar(kPrefijo + errorActualizando(posicion));
        return estado::kProblemaDeDatos;
    }
    marcarGuardadosYAnotados(!cambio.avisoBitacora);
    salida().linea({posicion, anterior, unidad});
    if (cambio.avisoBitacora) {
        avisar(kPrefijo + *cambio.avisoBitacora);
        return estado::kSinBitacora;
    }
    return estado::kHecho;
}
