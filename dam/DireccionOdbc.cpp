// SPDX-License-Identifier: GPL-3.0-or-later
// odbc:CONNECTION-STRING, as the driver manager reads it: key=value pairs separated by
// ";", where a value in braces may hold ";" and "=" and writes "}" as "}}". Only a
// data source's bare name, first, stands without "=".

#include "dam/LectoresDeDireccion.h"

#include <QRegularExpression>

#include <optional>

namespace {

const QString kPrefijoOdbc = QStringLiteral("odbc:");
const QString kNoEsClaveValor = QStringLiteral("una parte de la cadena no es de la forma clave=valor");

struct Valor {
    QString leido; // as the driver reads it
    qsizetype fin = 0; // the ";" after it, or the end
    QString problema; // why it cannot be read; nothing else is set then
};

// The value that starts at `inicio`, in braces or up to the next ";".
Valor leerValor(const QString &texto, qsizetype inicio)
{
    Valor v;
    while (inicio < texto.size() && texto[inicio] == u' ')
        ++inicio;
    if (inicio >= texto.size() || texto[inicio] != u'{') {
        v.fin = texto.indexOf(u';', inicio);
        if (v.fin < 0)
            v.fin = texto.size();
        v.leido = texto.mid(inicio, v.fin - inicio).trimmed();
        // Two settings with the ";" between them lost.
        if (v.leido.contains(u'='))
            v.problema = QStringLiteral("un valor que lleva «=» debe ir entre llaves {…}");
        return v;
    }
    qsizetype k = inicio + 1;
    for (;; ++k) {
        if (k >= texto.size()) {
            v.problema = QStringLiteral("un valor abre una llave «{» que no se cierra");
            return v;
        }
        if (texto[k] == u'}') {
            if (k + 1 < texto.size() && texto[k + 1] == u'}') {
                v.leido += u'}';
                ++k;
                continue;
            }
            break;
        }
        v.leido += texto[k];
    }
    v.fin = texto.indexOf(u';', k + 1);
    if (v.fin < 0)
        v.fin = texto.size();
    if (!texto.mid(k + 1, v.fin - k - 1).trimmed().isEmpty())
        v.problema = QStringLiteral("tras la llave «}» que cierra un valor sigue más texto");
    return v;
}

bool esClave(const QString &clave)
{
    static const QRegularExpression caracterProhibido(QStringLiteral("[\\[\\]{}(),?*!@]"));
    return !clave.isEmpty() && !clave.contains(caracterProhibido);
}

bool esNombreDeOrigen(const QString &pieza)
{
    static const QRegularExpression nombre(QStringLiteral("^[\\w .-]+$"),
                                           QRegularExpression::UseUnicodePropertiesOption);
    return nombre.match(pieza).hasMatch();
}

bool esClaveDeContrasena(const QString &clave)
{
    return clave.compare(QLatin1String("PWD"), Qt::CaseInsensitive) == 0
        || clave.compare(QLatin1String("PASSWORD"), Qt::CaseInsensitive) == 0;
}

} // namespace

void leerOdbc(Direccion &d, const QString &url)
{
    const QString texto = url.mid(kPrefijoOdbc.size());
    QStringList visibles;
    QStringList paraElDriver;
    bool primera = true;
    qsizetype i = 0;
    while (i < texto.size()) {
        const qsizetype igual = texto.indexOf(u'=', i);
        const qsizetype puntoYComa = texto.indexOf(u';', i);
        if (igual < 0 || (puntoYComa >= 0 && puntoYComa < igual)) {
            const qsizetype fin = puntoYComa < 0 ? texto.size() : puntoYComa;
            const QString pieza = texto.mid(i, fin - i);
            i = fin + 1;
            if (pieza.trimmed().isEmpty())
                continue;
            if (!primera || !esNombreDeOrigen(pieza))
                return ilegible(d, kNoEsClaveValor);
            primera = false;
            visibles << pieza;
            paraElDriver << pieza;
            continue;
        }
        primera = false;
        const QString clave = texto.mid(i, igual - i).trimmed();
        if (!esClave(clave))
            return ilegible(d, kNoEsClaveValor);
        const Valor valor = leerValor(texto, igual + 1);
        if (!valor.problema.isEmpty())
            return ilegible(d, valor.problema);
        const QString escrito = texto.mid(igual + 1, valor.fin - igual - 1).trimmed();
        i = valor.fin + 1;

        if (clave.compare(QLatin1String("espera"), Qt::CaseInsensitive) == 0) {
            ponerEspera(d, valor.leido);
            continue;
        }
        paraElDriver << clave + u'=' + escrito;
        if (esClaveDeContrasena(clave)) {
            d.secretos.ocultar(escrito, valor.leido);
            if (escrito.startsWith(u'{'))
                d.secretos.ocultar(escrito.mid(1, escrito.size() - 2), valor.leido);
            visibles << clave + u'=' + Secretos::kOculta;
        } else {
            visibles << clave + u'=' + escrito;
        }
    }
    d.visible = kPrefijoOdbc + visibles.join(u';');
    d.cadena = paraElDriver.join(u';');
    if (d.cadena.trimmed().isEmpty())
        d.problema = QStringLiteral("no indica ningún origen de datos");
}
