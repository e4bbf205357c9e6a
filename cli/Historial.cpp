// SPDX-License-Identifier: GPL-3.0-or-later
// telquin historial [POSICION]: the change journal, one line at a time.

#include "archivos/Bitacora.h"
#include "cli/Linea.h"
#include "cli/Ordenes.h"

namespace {

int historial(Contexto &contexto, const Pedido &pedido)
{
    const QString posicion = pedido.argumentos.value(0);
    const QString ruta = rutaBitacora();
    Salida &s = contexto.salida;
    for (const QString &columna : columnasBitacora())
        s.campo(columna);
    s.finDeLinea();
    bool saltadas = false;
    const std::optional<QString> error = recorrerBitacora(
        ruta, posicion,
        [&](const Anotacion &c) {
            s.linea({fechaBitacora(c.fecha), c.usuario, c.equipo, c.base, c.posicion, c.anterior, c.nueva, c.origen});
            return s.error() == 0;
        },
        [&](int, const QString &motivo) {
            saltadas = true;
            avisar(contexto, kPrefijo + sinControles(QStringLiteral("registro de cambios %1: %2").arg(ruta, motivo)));
        });
    if (error) {
        avisar(contexto, kPrefijo + sinControles(QStringLiteral("registro de cambios %1: %2").arg(ruta, *error)));
        return estado::kUso;
    }
    return saltadas ? estado::kProblemaDeDatos : estado::kHecho;
}

} // namespace

Orden ordenHistorial()
{
    return {QStringLiteral("historial"),
            {{QStringLiteral("POSICION"), Clase::Posicion, true}},
            {},
            QStringLiteral("muestra el registro de cambios"),
            QStringLiteral("Escribe el registro de cambios, del más antiguo al más\n"
                           "reciente (o solo los de una posición), después de una línea\n"
                           "de encabezado."),
            false,
            historial};
}
