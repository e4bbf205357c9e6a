// SPDX-License-Identifier: GPL-3.0-or-later
// telquin historial [POSICION]: the change journal, one line at a time.

#include "archivos/Bitacora.h"
#include "cli/Linea.h"
#include "cli/Ordenes.h"
#include "cli/Salida.h"

int historial(const QString &posicion)
{
    const QString ruta = rutaBitacora();
    Salida &s = salida();
    for (const QString &columna : columnasBitacora())
        s.campo(columna);
    s.finDeLinea();
    bool saltadas = false;
    const std::optional<QString> error = recorrerBitacora(
        ruta, posicion,
        [&](const Anotacion &c) {
            s.linea({fechaBitacora(c.fecha), c.usuario, c.equipo, c.base, c.posicion, c.anterior, c.nueva, c.origen});
            return errorDeSalida() == 0;
        },
        [&](int, const QString &motivo) {
            saltadas = true;
            avisar(kPrefijo + sinControles(QStringLiteral("registro de cambios %1: %2").arg(ruta, motivo)));
        });
    if (error) {
        avisar(kPrefijo + sinControles(QStringLiteral("registro de cambios %1: %2").arg(ruta, *error)));
        return estado::kUso;
    }
    return saltadas ? estado::kProblemaDeDatos : estado::kHecho;
}
