// SPDX-License-Identifier: GPL-3.0-or-later
#include "operaciones/Textos.h"

#include <QDir>

QString errorActualizando(const QString &posicion)
{
    return QStringLiteral("Error Actualizando la Ncm ") + posicion
        + QStringLiteral("los cambios no han sido realizados.");
}

AvisoDeCondicion avisoDeCondicion(CondicionPasajera condicion, const QString &posicion)
{
    const bool lote = posicion.isEmpty();
    switch (condicion) {
    case CondicionPasajera::Interbloqueo:
        return {lote ? QStringLiteral("La base de datos detuvo los cambios del lote porque otro usuario esperaba a "
                                      "la vez por las mismas filas.")
                     : QStringLiteral("La base de datos detuvo el cambio de la Ncm %1 porque otro usuario esperaba a "
                                      "la vez por las mismas filas.")
                           .arg(posicion),
                QStringLiteral("Vuelva a intentarlo.")};
    case CondicionPasajera::Cancelada:
        return {lote ? QStringLiteral("Se canceló una sentencia del lote en el servidor.")
                     : QStringLiteral("Se canceló la sentencia sobre la Ncm %1 en el servidor.").arg(posicion),
                QStringLiteral("Vuelva a intentarlo.")};
    case CondicionPasajera::CambioConcurrente:
        return {lote ? QStringLiteral("Otro usuario cambió filas del lote mientras se guardaba.")
                     : QStringLiteral("Otro usuario cambió la Ncm %1 mientras se guardaba el cambio.").arg(posicion),
                QStringLiteral("Consulte la unidad actual y vuelva a intentarlo.")};
    case CondicionPasajera::EsperaAgotada:
        break;
    }
    return {lote ? QStringLiteral("Otro usuario está modificando la tabla NCM en este momento.")
                 : QStringLiteral("Otro usuario está modificando la Ncm %1 en este momento.").arg(posicion),
            QStringLiteral("Espere a que termine y vuelva a intentarlo.")};
}

QString mensajeFalloBitacora(const QString &ruta, const QString &motivo)
{
    return QStringLiteral("El cambio se guardó en la base de datos, pero no se pudo anotar en el registro de cambios ")
        + QDir::toNativeSeparators(ruta) + QStringLiteral(": ") + motivo;
}
