// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/Contrato.h"

#include <algorithm>

ErrorComponente::ErrorComponente(QString mensaje) : mensaje_(std::move(mensaje)), utf8_(mensaje_.toUtf8()) { }

ErrorOcupado::ErrorOcupado(QString mensaje, CondicionPasajera condicion)
    : ErrorComponente(std::move(mensaje))
    , condicion_(condicion)
{
}

QVariant Recordset::Fields(const QString &nombre) const
{
    if (!fila_)
        throw ErrorComponente(QStringLiteral("El recordset no tiene fila actual (campo \"%1\").").arg(nombre));
    const auto campo = std::find_if(fila_->crbegin(), fila_->crend(), [&](const auto &c) { return c.first == nombre; });
    if (campo == fila_->crend())
        throw ErrorComponente(QStringLiteral("El recordset no tiene el campo \"%1\".").arg(nombre));
    return campo->second;
}

QString direccionDe(const Componente &oDAM)
{
    const auto *procedencia = dynamic_cast<const Procedencia *>(&oDAM);
    return procedencia ? procedencia->direccion() : QString();
}
