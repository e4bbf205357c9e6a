// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "archivos/Bitacora.h"

// The journal's changes in one list, as recorrerBitacora reads them. *error names why
// the journal could not be read, or else the first line left out.
inline QList<Anotacion> leerBitacora(const QString &ruta, const QString &posicion = {}, QString *error = nullptr)
{
    QList<Anotacion> anotaciones;
    QString primera;
    const std::optional<QString> fallo = recorrerBitacora(
        ruta, posicion,
        [&](const Anotacion &a) {
            anotaciones.append(a);
            return true;
        },
        [&](int, const QString &motivo) {
            if (primera.isEmpty())
                primera = motivo;
        });
    if (error)
        *error = fallo.value_or(primera);
    return anotaciones;
}
