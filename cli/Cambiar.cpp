// SPDX-License-Identifier: GPL-3.0-or-later
// telquin cambiar POSICION UNIDAD: F9 from the command line.

#include "cli/Linea.h"
#include "cli/Ordenes.h"
#include "codes/Codigos.h"
#include "data/Sentencias.h"
#include "operaciones/Cambio.h"
#include "operaciones/Textos.h"

namespace {

int cambiar(Contexto &contexto, const Pedido &pedido)
{
    const QString &posicion = pedido.argumentos[0];
    const QString &unidadEscrita = pedido.argumentos[1];
    if (!esPosicionValida(posicion)) {
        avisar(contexto, kPrefijo + kFormatoIncorrecto);
        return estado::kProblemaDeDatos;
    }
    const QString unidad = formatearUnidad(unidadEscrita);
    const auto oDAM = contexto.componente();
    const auto interrupcion = contexto.vigilar();
    if (auto *bloques = dynamic_cast<FilasEnBloque *>(oDAM.get()))
        interrupcion->cancelarCon(bloques->cancelacion());
    const Parada parada{[&] { return interrupcion->pedida(); }, [&](bool si) { interrupcion->cancelarSentencia(si); }};
    ResultadoCambio cambio;
    try {
        cambio = consultarYGuardar(
            *oDAM, posicion, unidad, QStringLiteral("linea"),
            [&](const UnidadLeida &leida) { return leida.encontrada && esUnidadValida(unidad); }, parada);
    } catch (const ErrorDesenlaceIncierto &e) {
        avisar(contexto, kPrefijo + e.mensaje());
        return estado::kDesenlaceIncierto;
    }
    if (cambio.interrumpido) {
        avisar(contexto, kPrefijo + QStringLiteral("Interrumpido.") + nadaGuardado(contexto));
        return estado::porSenal(interrupcion->senal());
    }
    if (!cambio.leida.encontrada) {
        avisar(contexto, kPrefijo + kPosicionNoEncontrada);
        return estado::kProblemaDeDatos;
    }
    if (!esUnidadValida(unidad)) {
        avisar(contexto,
               kPrefijo + kVerifiqueLosDatos
                   + QStringLiteral(": la unidad debe tener dos dígitos (Ej. 07), no «%1».").arg(unidadEscrita));
        return estado::kProblemaDeDatos;
    }
    if (!cambio.guardado()) {
        avisar(contexto, kPrefijo + errorActualizando(posicion));
        return estado::kProblemaDeDatos;
    }
    contexto.guardadosYAnotados = !cambio.avisoBitacora;
    contexto.salida.linea({posicion, textoDeUnidad(cambio.leida.valor), unidad});
    if (cambio.avisoBitacora) {
        avisar(contexto, kPrefijo + *cambio.avisoBitacora);
        return estado::kSinBitacora;
    }
    if (const int senal = interrupcion->senal()) {
        avisar(contexto,
               kPrefijo + Interrupcion::nombreDeSenal(senal)
                   + QStringLiteral(" llegó con el cambio ya enviado a la base de datos: quedó guardado y anotado."));
        return estado::porSenal(senal);
    }
    return estado::kHecho;
}

} // namespace

Orden ordenCambiar()
{
    return {QStringLiteral("cambiar"),
            {{QStringLiteral("POSICION"), Clase::Posicion}, {QStringLiteral("UNIDAD"), Clase::Unidad}},
            {},
            QStringLiteral("guarda otra unidad para una posición"),
            QStringLiteral("Como F9 en la ventana: la posición debe existir y la unidad\n"
                           "tener dos dígitos (\"5\" se guarda como \"05\"). Escribe la\n"
                           "posición, la unidad anterior y la nueva, y anota el cambio en\n"
                           "el registro de cambios."),
            true,
            cambiar};
}
