// SPDX-License-Identifier: GPL-3.0-or-later
// telquin cambiar POSICION UNIDAD: F9 from the command line.

#include "cli/Linea.h"
#include "cli/Ordenes.h"
#include "cli/Salida.h"
#include "cli/Terminal.h"
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
    const Interrupcion interrupcion;
    if (auto *bloques = dynamic_cast<FilasEnBloque *>(oDAM.get()))
        Interrupcion::cancelarCon(bloques->cancelacion());
    const Parada parada{[] { return Interrupcion::pedida(); }, [](bool si) { Interrupcion::cancelarSentencia(si); }};
    ResultadoCambio cambio;
    try {
        cambio = consultarYGuardar(
            *oDAM, posicion, unidad, QStringLiteral("linea"),
            [&](const UnidadLeida &leida) { return leida.encontrada && esUnidadValida(unidad); }, parada);
    } catch (const ErrorDesenlaceIncierto &e) {
        avisar(kPrefijo + e.mensaje());
        return estado::kDesenlaceIncierto;
    }
    if (cambio.interrumpido) {
        avisar(kPrefijo + QStringLiteral("Interrumpido.") + nadaGuardado());
        return estado::porSenal(Interrupcion::senal());
    }
    if (!cambio.leida.encontrada) {
        avisar(kPrefijo + kPosicionNoEncontrada);
        return estado::kProblemaDeDatos;
    }
    if (!esUnidadValida(unidad)) {
        avisar(kPrefijo + kVerifiqueLosDatos
               + QStringLiteral(": la unidad debe tener dos dígitos (Ej. 07), no «%1».").arg(unidadEscrita));
        return estado::kProblemaDeDatos;
    }
    if (!cambio.guardado()) {
        avisar(kPrefijo + errorActualizando(posicion));
        return estado::kProblemaDeDatos;
    }
    marcarGuardadosYAnotados(!cambio.avisoBitacora);
    salida().linea({posicion, textoDeUnidad(cambio.leida.valor), unidad});
    if (cambio.avisoBitacora) {
        avisar(kPrefijo + *cambio.avisoBitacora);
        return estado::kSinBitacora;
    }
    if (const int senal = Interrupcion::senal()) {
        avisar(kPrefijo + Interrupcion::nombreDeSenal(senal)
               + QStringLiteral(" llegó con el cambio ya enviado a la base de datos: quedó guardado y anotado."));
        return estado::porSenal(senal);
    }
    return estado::kHecho;
}
