// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "archivos/Bitacora.h"

#include <QStringList>

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

// The journal's changes as "posicion anterior nueva origen" lines, the database's
// address after them with `conBase`; why the journal, or a line of it, could not be
// read ends the list as "error: ...".
inline QStringList lineasDeBitacora(const QString &ruta, bool conBase = false)
{
    QString error;
    QStringList lineas;
    for (const Anotacion &c : leerBitacora(ruta, {}, &error)) {
        QStringList campos{c.posicion, c.anterior, c.nueva, c.origen};
        if (conBase)
            campos << c.base;
        lineas << campos.join(u' ');
    }
    if (!error.isEmpty())
        lineas << QStringLiteral("error: ") + error;
    return lineas;
}
