// SPDX-License-Identifier: GPL-3.0-or-later
#include "dam/Parametros.h"

#include "archivos/Carpetas.h"
#include "dam/ArchivoConf.h"
#include "dam/Direccion.h"
#include "data/Avisos.h"
#include "data/Contrato.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <optional>

namespace {

const QString kVariable = QStringLiteral("DAM_DATABASE_URL");

ErrorDeConfiguracion sinDireccion(const QStringList &archivos)
{
    QStringList fuentes{QStringLiteral("la variable ") + kVariable};
    for (const QString &archivo : archivos)
        fuentes << QStringLiteral("el archivo ") + archivo;
    return ErrorDeConfiguracion(
        QStringLiteral("No se sabe qué base de datos abrir: ni %1 dan su dirección (la clave «url» "
                       "de la sección [database]).")
            .arg(fuentes.join(QStringLiteral(" ni "))));
}

void advertirClaveLegible(const QString &ruta, const QString &url)
{
    static QSet<QString> advertidos;
    if (advertidos.contains(ruta))
        return;
    const QString aviso = avisoDeClaveLegible(ruta, url);
    if (aviso.isEmpty())
        return;
    advertidos.insert(ruta);
    avisarDelComponente(aviso);
}

} // namespace

QStringList carpetasDeConfiguracion()
{
    QStringList carpetas{carpetaXdg("XDG_CONFIG_HOME", QStringLiteral(".config"))};
    for (const QString &carpeta : carpetasXdgDelEquipo("XDG_CONFIG_DIRS", {QStringLiteral("/etc/xdg")}))
        if (!carpetas.contains(carpeta))
            carpetas << carpeta;
    return carpetas;
}

QString rutaBaseDeDatosPorDefecto()
{
    return carpetaXdg("XDG_DATA_HOME", QStringLiteral(".local/share")) + QStringLiteral("/telquin/ncm.sqlite");
}

QString avisoDeClaveLegible(const QString &ruta, const QString &url)
{
    const QFile::Permissions legible = QFile::ReadGroup | QFile::ReadOther;
    if (leerDireccion(url).secretos.claves().isEmpty() || !(QFileInfo(ruta).permissions() & legible))
        return {};
    return QStringLiteral("telquin: %1 guarda una clave y otros usuarios pueden leerlo; use chmod 600 %1 o guarde la "
                          "clave en ~/.pgpass")
        .arg(ruta);
}

ParametrosDAM resolverParametros()
{
    ParametrosDAM parametros;
    if (const QString variable = qEnvironmentVariable(qPrintable(kVariable)); !variable.trimmed().isEmpty()) {
        parametros.url = variable;
        parametros.origen = QStringLiteral("la variable ") + kVariable;
    }
    std::optional<int> espera;

    // The user's file, then the machine's ($XDG_CONFIG_DIRS, usually /etc/xdg). All of
    // them are read, so that a mistake in one is never passed over.
    QStringList leidos;
    const QStringList carpetas = carpetasDeConfiguracion();
    for (const QString &dir : carpetas) {
        const QString conf = dir + QStringLiteral("/telquin/dam.conf");
        const std::optional<ArchivoDeParametros> archivo = leerConf(conf);
        if (!archivo)
            continue;
        const ArchivoDeParametros &leido = *archivo;
        // The machine's file is meant to be shared: only the user's own is judged.
        if (dir == carpetas.front() && leido.url)
            advertirClaveLegible(conf, leido.url->texto);
        leidos << conf;
        if (parametros.url.isEmpty() && leido.url) {
            parametros.url = leido.url->texto;
            parametros.origen = QStringLiteral("el archivo %1 en la línea %2").arg(conf).arg(leido.url->linea);
        }
        if (!espera && leido.espera)
            espera = leerEspera(leido.espera->texto);
    }

    if (parametros.url.isEmpty()) {
        if (!leidos.isEmpty())
            throw sinDireccion(leidos);
        parametros.url = QStringLiteral("sqlite:") + rutaBaseDeDatosPorDefecto();
        parametros.origen = kOrigenPorDefecto;
    }
    parametros.espera = espera.value_or(kEsperaPorDefecto);
    return parametros;
}
