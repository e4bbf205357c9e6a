// SPDX-License-Identifier: GPL-3.0-or-later
#include "codes/Unidades.h"

#include <algorithm>
#include <cstring>

std::optional<QString> nombreDeUnidad(const QString &sCodigo)
{
    if (sCodigo.size() != 2)
        return std::nullopt;
    const QByteArray clave = sCodigo.toLatin1();
    const UnidadEstadistica *fin = kUnidadesEstadisticas + kCantidadUnidadesEstadisticas;
    const UnidadEstadistica *u
        = std::lower_bound(kUnidadesEstadisticas, fin, clave.constData(),
                           [](const UnidadEstadistica &a, const char *b) { return std::strcmp(a.codigo, b) < 0; });
    if (u == fin || std::strcmp(u->codigo, clave.constData()) != 0)
        return std::nullopt;
    return QString::fromUtf8(u->nombre);
}

QStringList codigosDeUnidad()
{
    QStringList codigos;
    codigos.reserve(qsizetype(kCantidadUnidadesEstadisticas));
    for (std::size_t i = 0; i < kCantidadUnidadesEstadisticas; ++i)
        codigos << QLatin1String(kUnidadesEstadisticas[i].codigo);
    return codigos;
}

QString descripcionDeUnidad(const QString &sCodigo)
{
    if (sCodigo.isEmpty())
        return {};
    return nombreDeUnidad(sCodigo).value_or(QStringLiteral("código no oficial"));
}
