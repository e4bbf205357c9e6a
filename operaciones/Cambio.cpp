// SPDX-License-Identifier: GPL-3.0-or-later
#include "operaciones/Cambio.h"

#include "data/Sentencias.h"
#include "operaciones/Textos.h"

namespace {

ResultadoCambio anotado(Componente &oDAM, qlonglong filas, const QString &posicion, const QString &anterior,
                        const QString &nueva, const QString &origen)
{
    ResultadoCambio r{filas, std::nullopt};
    if (r.guardado())
        r.avisoBitacora = anotarEnBitacora({nuevaAnotacion(direccionDe(oDAM), posicion, anterior, nueva, origen)});
    return r;
}

} // namespace

ResultadoCambio guardarCambio(Componente &oDAM, const QString &posicion, const QString &anterior, const QString &nueva,
                              const QString &origen)
{
    return anotado(oDAM, ActualizarUnidad(oDAM, posicion, nueva), posicion, anterior, nueva, origen);
}

ResultadoCambio deshacerCambio(Componente &oDAM, const QString &posicion, const std::optional<QString> &anterior,
                               const QString &actual)
{
    return anotado(oDAM, DeshacerUnidad(oDAM, posicion, anterior, actual), posicion, actual,
                   anterior.value_or(QString()), QStringLiteral("deshacer"));
}

std::optional<QString> anotarEnBitacora(const QList<Anotacion> &anotaciones)
{
    const QString ruta = rutaBitacora();
    const std::optional<QString> motivo = anotarEn(ruta, anotaciones);
    if (!motivo)
        return std::nullopt;
    return mensajeFalloBitacora(ruta, *motivo);
}
