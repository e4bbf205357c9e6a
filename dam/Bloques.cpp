// SPDX-License-Identifier: GPL-3.0-or-later
#include "dam/Bloques.h"

#include "data/Sentencias.h"

#include <algorithm>
#include <array>

namespace {

// A chunk's JSON text is written into one buffer sized beforehand: a chunk holds
// thousands of short strings, and growing a QString for each piece cost more than the
// database's own work on them.
bool escapar(QChar c) { return c == u'"' || c == u'\\' || c.unicode() < 0x20; }

// The size of the JSON string for `valor`, quotes included.
qsizetype largoDeCadena(QStringView valor)
{
    qsizetype largo = 2;
    for (const QChar c : valor)
        largo += !escapar(c) ? 1 : c.unicode() < 0x20 ? 6 : 2;
    return largo;
}

// A JSON string. The values that reach here hold no backslash and no control
// character (esVedado keeps them out), but the text must be JSON whatever it holds.
QChar *escribirCadena(QChar *p, QStringView valor)
{
    static constexpr char16_t kHex[] = u"0123456789abcdef";
    *p++ = u'"';
    for (const QChar c : valor) {
        if (c.unicode() < 0x20) {
            for (const char16_t d : {u'\\', u'u', u'0', u'0', kHex[c.unicode() >> 4], kHex[c.unicode() & 0xf]})
                *p++ = d;
        } else {
            if (escapar(c))
                *p++ = u'\\';
            *p++ = c;
        }
    }
    *p++ = u'"';
    return p;
}

// [[v1, v2, ...], ...]: one array of N strings for each row, valores(i) giving row i's.
template <std::size_t N, typename Valores>
QString jsonDeFilas(std::size_t filas, const Valores &valores)
{
    const auto n = qsizetype(filas);
    qsizetype largo = 2 + n * (2 + qsizetype(N) - 1) + std::max<qsizetype>(0, n - 1);
    for (std::size_t i = 0; i < filas; ++i)
        for (const QStringView v : valores(i))
            largo += largoDeCadena(v);
    QString json(largo, Qt::Uninitialized);
    QChar *p = json.data();
    *p++ = u'[';
    for (std::size_t i = 0; i < filas; ++i) {
        if (i > 0)
            *p++ = u',';
        *p++ = u'[';
        bool primero = true;
        for (const QStringView v : valores(i)) {
            if (!primero)
                *p++ = u',';
            primero = false;
            p = escribirCadena(p, v);
        }
        *p++ = u']';
    }
    *p++ = u']';
    Q_ASSERT(p == json.data() + json.size());
    return json;
}

// The chunk's rows as the common table expression v reads them, from `fuente`: the
// JSON as a literal, or the parameter that carries it.
QString filas(DialectoDeBloque dialecto, const QString &fuente, const QString &columnas)
{
    return dialecto == DialectoDeBloque::Sqlite
        ? QStringLiteral("SELECT %1 FROM json_each(%2)").arg(columnas, fuente)
        : QStringLiteral("SELECT %1 FROM json_array_elements(%2) WITH ORDINALITY AS t(e, n)").arg(columnas, fuente);
}

QString comoLiteral(const QString &json) { return u'\'' + literal(json) + u'\''; }

const QString kUnion = QStringLiteral("NCM.\"001\" = v.a AND NCM.\"002\" = v.b AND NCM.\"003\" = v.c");

} // namespace

QString jsonDeClaves(const std::vector<PositionKey> &claves)
{
    return jsonDeFilas<3>(claves.size(), [&](std::size_t i) {
        return std::array<QStringView, 3>{claves[i].primero, claves[i].segundo, claves[i].tercero};
    });
}

QString jsonDeCambios(const std::vector<std::pair<PositionKey, QString>> &cambios)
{
    return jsonDeFilas<4>(cambios.size(), [&](std::size_t i) {
        const PositionKey &k = cambios[i].first;
        return std::array<QStringView, 4>{k.primero, k.segundo, k.tercero, cambios[i].second};
    });
}

QString textoConsultaEnBloque(DialectoDeBloque dialecto, const QString &json, bool bloquear)
{
    return consultaEnBloqueDesde(dialecto, comoLiteral(json), bloquear);
}

QString textoUpdateEnBloque(DialectoDeBloque dialecto, const QString &json)
{
    return updateEnBloqueDesde(dialecto, comoLiteral(json));
}

QString consultaEnBloqueDesde(DialectoDeBloque dialecto, const QString &fuente, bool bloquear)
{
    const QString columnas = dialecto == DialectoDeBloque::Sqlite
        ? QStringLiteral("key, value ->> 0, value ->> 1, value ->> 2")
        : QStringLiteral("t.n - 1, t.e ->> 0, t.e ->> 1, t.e ->> 2");
    QString texto = QStringLiteral("WITH v(n, a, b, c) AS (%1) SELECT v.n, NCM.\"012\" FROM v JOIN NCM ON %2")
                        .arg(filas(dialecto, fuente, columnas), kUnion);
    if (bloquear && dialecto == DialectoDeBloque::Postgres)
        texto += QStringLiteral(" ORDER BY NCM.\"001\" COLLATE \"C\", NCM.\"002\" COLLATE \"C\", NCM.\"003\" COLLATE "
                                "\"C\" FOR UPDATE OF NCM");
    return texto;
}

QString updateEnBloqueDesde(DialectoDeBloque dialecto, const QString &fuente)
{
    // PostgreSQL assigns no text to a column of another type (a unit stored as an
    // integer); read through a row of the table's own type, each unit takes the
    // column's type, as a literal in the single update does.
    if (dialecto == DialectoDeBloque::Postgres)
        // Each row changed answers with the index of the key that matched it, which
        // also counts a row whose key the server compares otherwise than text (char(n)
        // padding, a case-blind collation).
        return QStringLiteral(
                   "WITH v(n, a, b, c, u) AS (%1) UPDATE NCM SET \"012\" = v.u FROM v WHERE %2 RETURNING v.n")
            .arg(filas(dialecto, fuente,
                       QStringLiteral("t.n - 1, t.e ->> 0, t.e ->> 1, t.e ->> 2, "
                                      "(json_populate_record(NULL::NCM, json_build_object('012', t.e -> 3))).\"012\"")),
                 kUnion);
    // SQLite's RETURNING names only the table's columns: the key as stored, its three
    // parts in one text joined by the unit separator, which no key sent can hold.
    return QStringLiteral("WITH v(a, b, c, u) AS (%1) UPDATE NCM SET \"012\" = v.u FROM v WHERE %2 RETURNING "
                          "NCM.\"001\" || char(31) || NCM.\"002\" || char(31) || NCM.\"003\"")
        .arg(filas(dialecto, fuente, QStringLiteral("value ->> 0, value ->> 1, value ->> 2, value ->> 3")), kUnion);
}
