// SPDX-License-Identifier: GPL-3.0-or-later
#include "dam/ArchivoConf.h"

#include "archivos/Sistema.h"
#include "dam/Espera.h"
#include "data/Contrato.h"

#include <QFile>
#include <QRegularExpression>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>

namespace {

const QString kClaveUrl = QStringLiteral("url");
const QString kClaveEspera = QStringLiteral("espera");

// dam.conf holds an address and a wait: anything near this size is no dam.conf.
constexpr qint64 kTamanoMaximo = qint64(1) << 20;

ErrorDeConfiguracion archivoIlegible(const QString &ruta, const QString &motivo)
{
    return ErrorDeConfiguracion(QStringLiteral("No se puede leer el archivo de parámetros %1: %2.").arg(ruta, motivo));
}

// The line is named by its number, never quoted: it may hold a password.
ErrorDeConfiguracion lineaIlegible(const QString &ruta, int numero, const QString &queHace)
{
    return archivoIlegible(ruta, QStringLiteral("la línea %1 %2").arg(numero).arg(queHace));
}

ErrorDeConfiguracion enLaLinea(const QString &ruta, int numero, const QString &problema)
{
    return archivoIlegible(ruta, QStringLiteral("en la línea %1, %2").arg(numero).arg(problema));
}

// Only what looks like a name the user meant is quoted back: a section or a key, not
// a value that lost its "=".
bool esNombre(const QString &texto)
{
    static const QRegularExpression nombre(QStringLiteral("^[A-Za-z][A-Za-z0-9_.-]{0,39}$"));
    return nombre.match(texto).hasMatch();
}

void leerSeccion(const QString &ruta, int numero, const QString &linea)
{
    if (!linea.endsWith(u']'))
        throw lineaIlegible(ruta, numero, QStringLiteral("abre una sección con «[» pero no la cierra con «]»"));
    const QString nombre = linea.mid(1, linea.size() - 2).trimmed();
    if (nombre.compare(QLatin1String("database"), Qt::CaseInsensitive) == 0)
        return;
    throw lineaIlegible(ruta, numero,
                        (esNombre(nombre) ? QStringLiteral("tiene una sección desconocida «%1»").arg(nombre)
                                          : QStringLiteral("tiene una sección desconocida"))
                            + QStringLiteral(" (la única es [database])"));
}

// One pair of matching quotes around the value is taken off; a lone quote is an
// error, since the address would reach the driver with it.
std::optional<QString> sinComillas(const QString &valor)
{
    const auto esComilla = [](QChar c) { return c == u'"' || c == u'\''; };
    const bool abre = !valor.isEmpty() && esComilla(valor.front());
    const bool cierra = !valor.isEmpty() && esComilla(valor.back());
    if (!abre && !cierra)
        return valor;
    if (abre && cierra && valor.size() >= 2 && valor.front() == valor.back())
        return valor.mid(1, valor.size() - 2).trimmed();
    return std::nullopt;
}

void leerClave(const QString &ruta, int numero, const QString &linea, bool enSeccion, ArchivoDeParametros &leido)
{
    const qsizetype igual = linea.indexOf(u'=');
    const QString clave = igual > 0 ? linea.left(igual).trimmed() : QString();
    if (!esNombre(clave))
        throw lineaIlegible(ruta, numero,
                            QStringLiteral("no es una sección, un comentario ni una línea «clave = valor»"));
    const QString nombre = clave.toLower();
    if (nombre != kClaveUrl && nombre != kClaveEspera)
        throw lineaIlegible(
            ruta, numero, QStringLiteral("tiene una clave desconocida «%1» (las claves son url y espera)").arg(clave));
    if (!enSeccion)
        throw enLaLinea(ruta, numero, QStringLiteral("la clave «%1» está fuera de la sección [database]").arg(nombre));
    std::optional<ValorLeido> &anterior = nombre == kClaveUrl ? leido.url : leido.espera;
    if (anterior)
        throw archivoIlegible(
            ruta,
            QStringLiteral("la clave «%1» se repite (líneas %2 y %3)").arg(nombre).arg(anterior->linea).arg(numero));

    const std::optional<QString> valor = sinComillas(linea.mid(igual + 1).trimmed());
    if (!valor)
        throw enLaLinea(ruta, numero, QStringLiteral("las comillas del valor de «%1» no se emparejan").arg(nombre));
    if (valor->isEmpty())
        throw enLaLinea(ruta, numero, QStringLiteral("la clave «%1» está vacía").arg(nombre));
    if (nombre == kClaveEspera && leerEspera(*valor) == 0)
        throw lineaIlegible(ruta, numero,
                            QStringLiteral("da a «espera» un valor que no es un número entero de segundos entre 1 y %1")
                                .arg(kEsperaMaxima));
    anterior = ValorLeido{*valor, numero};
}

} // namespace

std::optional<ArchivoDeParametros> leerConf(const QString &ruta)
{
    const ArchivoAbierto abierto = abrirArchivoComun(ruta, O_RDONLY, Acceso::Lectura, Enlaces::Seguir);
    if (abierto.error == ENOENT || abierto.error == ENOTDIR)
        return std::nullopt;
    if (abierto.fd < 0)
        throw archivoIlegible(ruta, abierto.motivo);
    Descriptor archivo(abierto.fd);
    const LecturaCompleta lectura = leerHasta(archivo.fd(), kTamanoMaximo);
    if (lectura.error)
        throw archivoIlegible(ruta, motivoDelSistema(lectura.error, Acceso::Lectura));
    if (lectura.pasaDelLimite)
        throw archivoIlegible(ruta, QStringLiteral("es más grande que 1 MiB"));

    ArchivoDeParametros leido;
    bool enSeccion = false;
    int numero = 0;
    for (const QByteArray &bytes : lectura.datos.split('\n')) {
        ++numero;
        QString linea = QString::fromUtf8(bytes);
        if (numero == 1 && linea.startsWith(QChar(0xFEFF)))
            linea.remove(0, 1);
        linea = linea.trimmed();
        if (linea.isEmpty() || linea.startsWith(u'#') || linea.startsWith(u';'))
            continue;
        if (linea.startsWith(u'[')) {
            leerSeccion(ruta, numero, linea);
            enSeccion = true;
            continue;
        }
        leerClave(ruta, numero, linea, enSeccion, leido);
    }
    return leido;
}
