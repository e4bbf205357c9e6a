// SPDX-License-Identifier: GPL-3.0-or-later
#include "dam/FormaSqlite.h"

#include <QByteArrayView>

namespace {

bool esDePalabra(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return (u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || u == '_' || u == '$'
        || u >= 0x80;
}

bool esBlanco(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

// Where what starts at `i` (a comment or a quoted name) ends, just past it.
qsizetype finDe(const QByteArray &sql, qsizetype i)
{
    const qsizetype n = sql.size();
    if (sql[i] == '-')
        return sql.indexOf('\n', i) < 0 ? n : sql.indexOf('\n', i) + 1;
    if (sql[i] == '/') {
        const qsizetype fin = sql.indexOf("*/", i + 2);
        return fin < 0 ? n : fin + 2;
    }
    const char cierre = sql[i] == '[' ? ']' : sql[i];
    for (qsizetype j = i + 1; j < n; ++j)
        if (sql[j] == cierre) {
            // "" and `` stand for the character itself; ] ends a [name] always.
            if (cierre != ']' && j + 1 < n && sql[j + 1] == cierre) {
                ++j;
                continue;
            }
            return j + 1;
        }
    return n;
}

} // namespace

std::optional<FormaDeSentencia> formaConParametros(const QByteArray &sql)
{
    FormaDeSentencia forma;
    forma.texto.reserve(sql.size());
    const qsizetype n = sql.size();
    int profundidad = 0;
    bool primeraPalabra = true;
    bool trasWhere = false;
    char previo = 0; // the last character that is no blank nor comment
    for (qsizetype i = 0; i < n;) {
        const char c = sql[i];
        const char siguiente = i + 1 < n ? sql[i + 1] : '\0';
        if ((c == '-' && siguiente == '-') || (c == '/' && siguiente == '*') || c == '"' || c == '`' || c == '[') {
            const qsizetype fin = finDe(sql, i);
            forma.texto += QByteArrayView(sql).sliced(i, fin - i);
            if (c == '"' || c == '`' || c == '[')
                previo = c;
            i = fin;
            continue;
        }
        if (c == '\'') {
            QByteArray valor;
            qsizetype j = i + 1;
            for (; j < n; ++j) {
                if (sql[j] == '\'') {
                    if (j + 1 < n && sql[j + 1] == '\'') {
                        valor += '\'';
                        ++j;
                        continue;
                    }
                    break;
                }
                valor += sql[j];
            }
            if (j >= n)
                return std::nullopt;
            const bool blob = previo == 'x' || previo == 'X';
            if (trasWhere && !blob && (previo == '=' || previo == '<' || previo == '>')) {
                forma.texto += '?';
                forma.valores.push_back(std::move(valor));
            } else {
                forma.texto += QByteArrayView(sql).sliced(i, j + 1 - i);
            }
            previo = '\'';
            i = j + 1;
            continue;
        }
        // A parameter of its own: ?, ?1, :name, @name, $name.
        if (c == '?' || ((c == ':' || c == '@' || c == '$') && esDePalabra(siguiente)))
            return std::nullopt;
        if (esDePalabra(c) && !(c >= '0' && c <= '9')) {
            qsizetype j = i;
            while (j < n && esDePalabra(sql[j]))
                ++j;
            const QByteArrayView palabra = QByteArrayView(sql).sliced(i, j - i);
            if (primeraPalabra) {
                const bool admitida = palabra.compare("SELECT", Qt::CaseInsensitive) == 0
                    || palabra.compare("UPDATE", Qt::CaseInsensitive) == 0
                    || palabra.compare("DELETE", Qt::CaseInsensitive) == 0;
                if (!admitida)
                    return std::nullopt;
                primeraPalabra = false;
            }
            if (profundidad == 0 && palabra.compare("WHERE", Qt::CaseInsensitive) == 0)
                trasWhere = true;
            forma.texto += palabra;
            previo = sql[j - 1];
            i = j;
            continue;
        }
        if (c == '(')
            ++profundidad;
        else if (c == ')')
            --profundidad;
        if (!esBlanco(c)) {
            if (primeraPalabra)
                return std::nullopt;
            previo = c;
        }
        forma.texto += c;
        ++i;
    }
    if (forma.valores.empty())
        return std::nullopt;
    return forma;
}
