// SPDX-License-Identifier: GPL-3.0-or-later
// Growth: random lookups on the smallest and on the largest table, in turn in one
// loop, through Telquin and through the raw driver; and the query plans that explain
// why the lookups hardly grow.

#include "Rutas.h"

#include <QStringList>

namespace {

std::string caminoCrecimiento(const char *camino, std::int64_t filas)
{
    return std::string(camino) + "@" + std::to_string(filas);
}

std::string nombre(Motor m) { return std::string("growth/") + nombreMotor(m) + "/lookup-random"; }

QString unir(const std::vector<std::string> &v)
{
    QStringList l;
    for (const auto &s : v)
        l << QString::fromStdString(s).simplified();
    return l.join(QStringLiteral("; "));
}

} // namespace

Planes planesDeConsulta(const Tablas &tablas, std::int64_t menor, std::int64_t mayor)
{
    Planes planes;
    for (const auto &t : tablas) {
        if (t->filas != menor && t->filas != mayor)
            continue;
        const QString que = QStringLiteral("%1, %2 rows").arg(textoMotor(t->motor), filasTexto(t->filas));
        const std::string prefijo = t->motor == Motor::Sqlite ? "EXPLAIN QUERY PLAN " : "EXPLAIN ";
        const int col = t->motor == Motor::Sqlite ? 3 : 0;
        planes.emplace_back(que + QStringLiteral(", lookup"),
                            unir(t->columnaCruda(prefijo + t->textosAleatorias[0], col)));
        planes.emplace_back(que + QStringLiteral(", update"), unir(t->columnaCruda(prefijo + t->textosUpdate[0], col)));
    }
    return planes;
}

void registrarCrecimiento(const Tablas &tablas, std::int64_t menor, std::int64_t mayor)
{
    for (Motor m : {Motor::Sqlite, Motor::Postgres}) {
        Tabla *pequena = nullptr;
        Tabla *grande = nullptr;
        for (const auto &t : tablas) {
            if (t->motor != m)
                continue;
            if (t->filas == menor)
                pequena = t.get();
            if (t->filas == mayor)
                grande = t.get();
        }
        if (!pequena || !grande || pequena == grande)
            continue;
        const char *crudo = nombreCrudo(m);
        registrarComparacion(nombre(m),
                             {consultaTelquin(*grande, caminoCrecimiento("telquin", mayor)),
                              consultaTelquin(*pequena, caminoCrecimiento("telquin", menor)),
                              consultaCruda(*grande, caminoCrecimiento(crudo, mayor)),
                              consultaCruda(*pequena, caminoCrecimiento(crudo, menor))});
    }
}

void informarCrecimiento(Informe &inf, std::int64_t menor, std::int64_t mayor, const Planes &planes)
{
    inf.linea(
        QStringLiteral("## Growth: lookups on %1 rows next to %2 rows").arg(filasTexto(mayor), filasTexto(menor)));
    inf.linea();
    inf.linea(
        QStringLiteral("Random lookups on the two tables, in turn in one loop. Target for Telquin: at most 1.3×."));
    inf.linea();
    inf.fila({QStringLiteral("Database"), QStringLiteral("Road"), QStringLiteral("%1 rows").arg(filasTexto(menor)),
              QStringLiteral("%1 rows").arg(filasTexto(mayor)), QStringLiteral("Ratio"), QString()});
    inf.linea(QStringLiteral("|---|---|---:|---:|---:|---|"));
    for (Motor m : {Motor::Sqlite, Motor::Postgres}) {
        const std::string n = nombre(m);
        if (!inf.hay(n))
            continue;
        for (const char *c : {"telquin", nombreCrudo(m)}) {
            const double a = inf.camino(n, caminoCrecimiento(c, menor));
            const double b = inf.camino(n, caminoCrecimiento(c, mayor));
            inf.fila({textoMotor(m), QString::fromLatin1(c), cifra(a), cifra(b), razon(b, a),
                      std::string(c) == "telquin" ? veredicto(b, a, 1.3) : QString()});
        }
    }
    inf.linea();
    inf.linea(QStringLiteral("Query plans, as each database explains the statements Telquin sends:"));
    inf.linea();
    for (const auto &[que, plan] : planes)
        inf.linea(QStringLiteral("- %1: `%2`").arg(que, plan));
    inf.linea();
}
