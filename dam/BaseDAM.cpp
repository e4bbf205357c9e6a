// SPDX-License-Identifier: GPL-3.0-or-later
#include "dam/BaseDAM.h"

#include "dam/Causas.h"

namespace dam {

const QString kConexionPerdida
    = QStringLiteral("se perdió la conexión con el servidor de la base de datos y no se pudo restablecer");

void fallar(const ComponenteDAM::Base &base, const Fallo &fallo, const QString &entidad, const QString &accion,
            const QString &sentencia)
{
    const bool perdida = fallo.perdida || sesionTerminada(fallo);
    const CausaDeFallo causa = causaDeSentencia(fallo, entidad, base.espera);
    QString mensaje
        = QStringLiteral("Error de la base de datos al %1: %2.").arg(accion, perdida ? kConexionPerdida : causa.texto);
    if (!sentencia.isEmpty())
        mensaje += u'\n' + sentencia;
    const QString textoDriver = base.secretos.sinClaves(fallo.texto.trimmed());
    if (!textoDriver.isEmpty())
        mensaje += u'\n' + textoDriver;
    if (causa.pasajera && !perdida)
        throw ErrorOcupado(mensaje, *causa.pasajera);
    throw ErrorComponente(mensaje);
}

Fallo conPerdida(Fallo fallo, bool perdida)
{
    fallo.perdida = perdida;
    return fallo;
}

} // namespace dam
