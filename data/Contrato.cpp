// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/Contrato.h"

ErrorComponente::ErrorComponente(QString mensaje) : mensaje_(std::move(mensaje)), utf8_(mensaje_.toUtf8()) { }

ErrorOcupado::ErrorOcupado(QString mensaje, CondicionPasajera condicion)
    : ErrorComponente(std::move(mensaje))
    , condicion_(condicion)
{
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
    case CondicionPasajera::EsperaAgotada:
        break;
    }
    return {lote ? QStringLiteral("Otro usuario está modificando la tabla NCM en este momento.")
                 : QStringLiteral("Otro usuario está modificando la Ncm %1 en este momento.").arg(posicion),
            QStringLiteral("Espere a que termine y vuelva a intentarlo.")};
}

QVariant Recordset::Fields(const QString &nombre) const
{
    if (!fila_)
        throw ErrorComponente(QStringLiteral("El recordset no tiene fila actual (campo \"%1\").").arg(nombre));
    const auto campo = fila_->constFind(nombre);
    if (campo == fila_->constEnd())
        throw ErrorComponente(QStringLiteral("El recordset no tiene el campo \"%1\".").arg(nombre));
    return *campo;
}

QString direccionDe(const Componente &oDAM)
{
    const auto *procedencia = dynamic_cast<const Procedencia *>(&oDAM);
    return procedencia ? procedencia->direccion() : QString();
}
