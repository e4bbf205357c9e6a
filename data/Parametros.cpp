// SPDX-License-Identifier: GPL-3.0-or-later
#include "Parametros.h"

#include "Contrato.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <optional>

namespace {

struct ArchivoDeParametros {
    std::optional<QString> url;
    std::optional<int> espera;
};

ErrorComponente lineaIlegible(const QString &ruta, int numero, const QString &motivo)
{
    // The line is named by its number: it may hold a password.
    return ErrorComponente(QStringLiteral("No se puede leer el archivo de parámetros %1: la línea %2 %3.")
                               .arg(ruta)
                               .arg(numero)
                               .arg(motivo));
}

// Section [database], read as it is written. QSettings would cut a value at a ";"
// and split it at a ",", which connection strings are full of.
ArchivoDeParametros leerConf(const QString &ruta)
{
    QFile archivo(ruta);
    if (!archivo.open(QIODevice::ReadOnly | QIODevice::Text))
        throw ErrorComponente(
            QStringLiteral("No se puede leer el archivo de parámetros %1: %2.").arg(ruta, archivo.errorString()));
    ArchivoDeParametros leido;
    bool enSeccion = false;
    int numero = 0;
    while (!archivo.atEnd()) {
        ++numero;
        const QString linea = QString::fromUtf8(archivo.readLine()).trimmed();
        if (linea.isEmpty() || linea.startsWith(u'#') || linea.startsWith(u';'))
            continue;
        if (linea.startsWith(u'[')) {
            if (!linea.endsWith(u']'))
                throw lineaIlegible(ruta, numero, QStringLiteral("abre una sección con «[» pero no la cierra con «]»"));
            enSeccion = linea.compare(QLatin1String("[database]"), Qt::CaseInsensitive) == 0;
            continue;
        }
        const qsizetype igual = linea.indexOf(u'=');
        if (igual <= 0)
            throw lineaIlegible(ruta, numero,
                                QStringLiteral("no es una sección, un comentario ni una línea «clave = valor»"));
        if (!enSeccion)
            continue;
        const QString clave = linea.left(igual).trimmed();
        QString valor = linea.mid(igual + 1).trimmed();
        if (valor.size() >= 2 && valor.startsWith(u'"') && valor.endsWith(u'"'))
            valor = valor.mid(1, valor.size() - 2);
        if (clave.compare(QLatin1String("url"), Qt::CaseInsensitive) == 0 && !leido.url) {
            leido.url = valor;
        } else if (clave.compare(QLatin1String("espera"), Qt::CaseInsensitive) == 0 && !leido.espera) {
            const int espera = leerEspera(valor);
            if (espera == 0)
                throw lineaIlegible(ruta, numero,
                                    QStringLiteral("da a «espera» un valor que no es un número entero de "
                                                   "segundos entre 1 y %1")
                                        .arg(kEsperaMaxima));
            leido.espera = espera;
        }
    }
    return leido;
}

} // namespace

int leerEspera(const QString &texto)
{
    bool numero = false;
    const int segundos = texto.trimmed().toInt(&numero);
    return numero && segundos >= 1 && segundos <= kEsperaMaxima ? segundos : 0;
}

QString rutaBaseDeDatosPorDefecto()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
        + QStringLiteral("/telquin/ncm.sqlite");
}

ParametrosDAM resolverParametros()
{
    std::optional<QString> url;
    if (const QString variable = qEnvironmentVariable("DAM_DATABASE_URL"); !variable.isEmpty())
        url = variable;
    std::optional<int> espera;

    // The user's file, then the machine's ($XDG_CONFIG_DIRS, usually /etc/xdg).
    const QStringList dirs = QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation);
    for (const QString &dir : dirs) {
        if (url && espera)
            break;
        const QString conf = dir + QStringLiteral("/telquin/dam.conf");
        if (!QFileInfo::exists(conf))
            continue;
        const ArchivoDeParametros leido = leerConf(conf);
        if (!url && leido.url && !leido.url->isEmpty())
            url = leido.url;
        if (!espera)
            espera = leido.espera;
    }
    return {url.value_or(QStringLiteral("sqlite:") + rutaBaseDeDatosPorDefecto()), espera.value_or(kEsperaPorDefecto)};
}

QString resolverUrlBaseDeDatos() { return resolverParametros().url; }
