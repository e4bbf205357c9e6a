// SPDX-License-Identifier: GPL-3.0-or-later
#include "dam/Bloques.h"

#include "data/Sentencias.h"

#include <algorithm>

namespace {

// A JSON string. The values that reach here hold no backslash and no control
// character (esVedado keeps them out), but the text must be JSON whatever it holds.
void agregarCadena(QString &json, const QString &valor)
{
    json += u'"';
    const auto escapar = [](QChar c) { return c == u'"' || c == u'\\' || c.unicode() < 0x20; };
    if (std::none_of(valor.cbegin(), valor.cend(), escapar)) {
        json += valor;
        json += u'"';
        return;
    }
    for (const QChar c : valor) {
        if (c == u'"' || c == u'\\') {
            json += u'\\';
            json += c;
        } else if (c.unicode() < 0x20) {
            json += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        } else {
            json += c;
        }
    }
    json += u'"';
}

void agregarClave(QString &json, const PositionKey &clave)
{
    agregarCadena(json, clave.primero);
    json += u',';
    agregarCadena(json, clave.segundo);
    json += u',';
    agregarCadena(json, clave.tercero);
}

// The chunk's rows as the common table expression v reads them.
QString filas(DialectoDeBloque dialecto, const QString &json, const QString &columnas)
{
    return dialecto == DialectoDeBloque::Sqlite
        ? QStringLiteral("SELECT %1 FROM json_each('%2')").arg(columnas, literal(json))
        : QStringLiteral("SELECT %1 FROM json_array_elements('%2') WITH ORDINALITY AS t(e, n)")
              .arg(columnas, literal(json));
}

const QString kUnion = QStringLiteral("NCM.\"001\" = v.a AND NCM.\"002\" = v.b AND NCM.\"003\" = v.c");

} // namespace

QString jsonDeClaves(const std::vector<PositionKey> &claves)
{
    QString json;
    json.reserve(qsizetype(claves.size()) * 24 + 2);
    json += u'[';
    for (std::size_t i = 0; i < claves.size(); ++i) {
        json += i == 0 ? QStringLiteral("[") : QStringLiteral(",[");
        agregarClave(json, claves[i]);
        json += u']';
    }
    json += u']';
    return json;
}

QString jsonDeCambios(const std::vector<std::pair<PositionKey, QString>> &cambios)
{
    QString json;
    json.reserve(qsizetype(cambios.size()) * 29 + 2);
    json += u'[';
    for (std::size_t i = 0; i < cambios.size(); ++i) {
        json += i == 0 ? QStringLiteral("[") : QStringLiteral(",[");
        agregarClave(json, cambios[i].first);
        json += u',';
        agregarCadena(json, cambios[i].second);
        json += u']';
    }
    json += u']';
    return json;
}

QString textoConsultaEnBloque(DialectoDeBloque dialecto, const QString &json, bool bloquear)
{
    const QString columnas = dialecto == DialectoDeBloque::Sqlite
        ? QStringLiteral("key, value ->> 0, value ->> 1, value ->> 2")
        : QStringLiteral("t.n - 1, t.e ->> 0, t.e ->> 1, t.e ->> 2");
    QString texto = QStringLiteral("WITH v(n, a, b, c) AS (%1) SELECT v.n, NCM.\"012\" FROM v JOIN NCM ON %2")
                        .arg(filas(dialecto, json, columnas), kUnion);
    if (bloquear && dialecto == DialectoDeBloque::Postgres)
        texto += QStringLiteral(" ORDER BY NCM.\"001\" COLLATE \"C\", NCM.\"002\" COLLATE \"C\", NCM.\"003\" COLLATE "
                                "\"C\" FOR UPDATE OF NCM");
    return texto;
}

QString textoUpdateEnBloque(DialectoDeBloque dialecto, const QString &json)
{
    QString filasDeV = dialecto == DialectoDeBloque::Sqlite
        ? QStringLiteral("SELECT value ->> 0, value ->> 1, value ->> 2, value ->> 3 FROM json_each('%1')")
              .arg(literal(json))
        : QStringLiteral("SELECT t.e ->> 0, t.e ->> 1, t.e ->> 2, t.e ->> 3 FROM json_array_elements('%1') AS t(e)")
              .arg(literal(json));
    return QStringLiteral("WITH v(a, b, c, u) AS (%1) UPDATE NCM SET \"012\" = v.u FROM v WHERE %2 RETURNING "
                          "NCM.\"001\", NCM.\"002\", NCM.\"003\"")
        .arg(filasDeV, kUnion);
}
