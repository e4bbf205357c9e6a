// SPDX-License-Identifier: GPL-3.0-or-later
#include "dam/Dialecto.h"

#include <QVarLengthArray>

#include <algorithm>

namespace {

// Where a run that is not plain code ends (one past its last character), given where
// it starts: quoted literals and identifiers ('...', "..." with doubled quotes
// inside), comments and [bracketed] names; nullptr when code starts there. An
// unterminated run reaches to the end; the driver reports it.
const QChar *finDeTrozo(const QChar *i, const QChar *final)
{
    const QChar c = *i;
    const QChar sig = i + 1 < final ? i[1] : QChar();
    if (c == u'\'' || c == u'"') {
        for (const QChar *fin = i + 1; fin < final; ++fin) {
            if (*fin != c)
                continue;
            if (fin + 1 < final && fin[1] == c)
                ++fin;
            else
                return fin + 1;
        }
        return final;
    }
    if (c == u'-' && sig == u'-') {
        const QChar *fin = std::find(i + 2, final, u'\n');
        return fin == final ? final : fin + 1;
    }
    if (c == u'/' && sig == u'*') {
        for (const QChar *fin = i + 2; fin + 1 < final; ++fin)
            if (fin[0] == u'*' && fin[1] == u'/')
                return fin + 2;
        return final;
    }
    if (c == u'[') {
        const QChar *fin = std::find(i + 1, final, u']');
        return fin == final ? final : fin + 1;
    }
    return nullptr;
}

// The characters that may start a run that is not plain code.
bool abreTrozo(QChar c) { return c == u'\'' || c == u'"' || c == u'-' || c == u'/' || c == u'['; }

// Until the first ";" these are the only characters that matter: a statement is
// mostly plain code, and this is asked of each of its characters.
bool importa(QChar c)
{
    constexpr quint64 kBajos = (1ull << '\'') | (1ull << '"') | (1ull << '-') | (1ull << '/') | (1ull << ';');
    const char16_t u = c.unicode();
    return u < 64 ? (kBajos >> u) & 1 : u == u'[';
}

} // namespace

SentenciaAdaptada adaptarSentencia(const QString &sql, Citador *citar)
{
    SentenciaAdaptada r;
    const QChar *const inicio = sql.constData();
    const QChar *const final = inicio + sql.size();
    // The text is written here and copied once into r.texto; up to `copiado` it is
    // written already.
    QVarLengthArray<QChar, 256> salida;
    const QChar *copiado = inicio;
    bool terminada = false;
    for (const QChar *i = inicio; i < final;) {
        if (!terminada) {
            i = std::find_if(i, final, importa);
            if (i == final)
                break;
        }
        const QChar *const fin = abreTrozo(*i) ? finDeTrozo(i, final) : nullptr;
        if (!fin) {
            if (*i == u';')
                terminada = true;
            else if (terminada && !i->isSpace())
                r.varias = true;
            ++i;
            continue;
        }
        const bool comentario = *i == u'-' || *i == u'/';
        if (!comentario)
            r.varias = r.varias || terminada;
        if (citar && *i == u'[' && fin - i >= 2 && fin[-1] == u']') {
            salida.append(copiado, i - copiado);
            const QStringView citado = citar->citar(QStringView(i + 1, fin - 1));
            salida.append(citado.data(), citado.size());
            copiado = fin;
        }
        i = fin;
    }
    if (citar) {
        salida.append(copiado, final - copiado);
        r.texto = QString(salida.constData(), salida.size());
    }
    return r;
}
