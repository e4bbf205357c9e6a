// SPDX-License-Identifier: GPL-3.0-or-later
#include "dam/Dialecto.h"

namespace {

enum class Tipo { Codigo, Literal, Comentario, Corchete };

struct Trozo {
    Tipo tipo;
    qsizetype inicio;
    qsizetype largo;
};

// Splits a statement text into runs of plain code, quoted literals and identifiers
// ('...', "..." with doubled quotes inside), comments and [bracketed] names. An
// unterminated run reaches to the end; the driver reports it.
template <typename F>
void recorrer(const QString &sql, F &&visitar)
{
    const qsizetype n = sql.size();
    qsizetype i = 0;
    qsizetype inicioCodigo = 0;
    const auto cerrarCodigo = [&](qsizetype hasta) {
        if (hasta > inicioCodigo)
            visitar(Trozo{Tipo::Codigo, inicioCodigo, hasta - inicioCodigo});
    };
    while (i < n) {
        const QChar c = sql[i];
        const QChar sig = i + 1 < n ? sql[i + 1] : QChar();
        qsizetype fin = -1;
        Tipo tipo = Tipo::Literal;
        if (c == u'\'' || c == u'"') {
            fin = i + 1;
            while (fin < n) {
                if (sql[fin] == c) {
                    if (fin + 1 < n && sql[fin + 1] == c) {
                        fin += 2;
                        continue;
                    }
                    ++fin;
                    break;
                }
                ++fin;
            }
            if (fin > n)
                fin = n;
        } else if (c == u'-' && sig == u'-') {
            tipo = Tipo::Comentario;
            fin = sql.indexOf(u'\n', i);
            fin = fin < 0 ? n : fin + 1;
        } else if (c == u'/' && sig == u'*') {
            tipo = Tipo::Comentario;
            fin = sql.indexOf(QStringLiteral("*/"), i + 2);
            fin = fin < 0 ? n : fin + 2;
        } else if (c == u'[') {
            tipo = Tipo::Corchete;
            fin = sql.indexOf(u']', i);
            fin = fin < 0 ? n : fin + 1;
        }
        if (fin < 0) {
            ++i;
            continue;
        }
        cerrarCodigo(i);
        visitar(Trozo{tipo, i, fin - i});
        i = fin;
        inicioCodigo = i;
    }
    cerrarCodigo(n);
}

} // namespace

SentenciaAdaptada adaptarSentencia(const QString &sql, const Citador *citar)
{
    SentenciaAdaptada r;
    if (citar)
        r.texto.reserve(sql.size() + 8);
    bool terminada = false;
    recorrer(sql, [&](const Trozo &t) {
        if (citar) {
            const bool cerrado = t.largo >= 2 && sql[t.inicio + t.largo - 1] == u']';
            if (t.tipo == Tipo::Corchete && cerrado)
                r.texto += (*citar)(sql.mid(t.inicio + 1, t.largo - 2));
            else
                r.texto += QStringView(sql).mid(t.inicio, t.largo);
        }
        if (r.varias || t.tipo == Tipo::Comentario)
            return;
        if (t.tipo != Tipo::Codigo) {
            r.varias = terminada;
            return;
        }
        for (qsizetype i = t.inicio; i < t.inicio + t.largo && !r.varias; ++i) {
            const QChar c = sql[i];
            if (c == u';')
                terminada = true;
            else if (terminada && !c.isSpace())
                r.varias = true;
        }
    });
    return r;
}
