// SPDX-License-Identifier: GPL-3.0-or-later
// Instructions per lookup, counted by callgrind in one process: Telquin's whole road
// (GetUnidEst through the component, the statement text built each time), the same
// texts through Qt SQL alone, and through the raw driver (sqlite3, libpq), on the
// tables telquin_bench generated. Each road runs its lookups once uncounted (first
// use: the driver's plugin, lazy binding, the database's cache), then again between
// CALLGRIND_ZERO_STATS and CALLGRIND_DUMP_STATS_AT named "DATABASE/ROAD"; scripts/bench
// reads the dumps. Only this process is counted: on PostgreSQL, the client's side.
//
//   valgrind --tool=callgrind --callgrind-out-file=PREFIX telquin_bench_instrucciones
//            --datos=DIR --filas=N [--consultas=N] [--pg=URL]
// --pg defaults to TELQUIN_PG_URL; its table is telquin_bench_N, as telquin_bench left it.

#include "Tabla.h"
#include "dam/ComponenteDAM.h"
#include "data/Sentencias.h"

#include <valgrind/callgrind.h>

#include <QCoreApplication>
#include <QDir>

#include <cstdio>
#include <functional>

namespace {

struct Opciones {
    QString datos;
    std::int64_t filas = 10000;
    int consultas = 2000;
    QString pg;
};

Opciones leerOpciones(const QStringList &args)
{
    Opciones op;
    op.pg = qEnvironmentVariable("TELQUIN_PG_URL");
    for (const QString &a : args.mid(1)) {
        const QString valor = a.section(u'=', 1);
        if (a.startsWith(QStringLiteral("--datos=")))
            op.datos = valor;
        else if (a.startsWith(QStringLiteral("--filas=")))
            op.filas = valor.toLongLong();
        else if (a.startsWith(QStringLiteral("--consultas=")))
            op.consultas = valor.toInt();
        else if (a.startsWith(QStringLiteral("--pg=")))
            op.pg = valor;
        else
            throw ErrorBench("unknown argument " + a.toStdString());
    }
    if (op.datos.isEmpty() || op.filas < 10 || op.consultas < 1 || op.consultas > kClaves)
        throw ErrorBench("usage: telquin_bench_instrucciones --datos=DIR --filas=N [--consultas=N] [--pg=URL]");
    return op;
}

void contar(const std::string &nombre, int consultas, const std::function<void(int)> &consulta)
{
    for (int i = 0; i < consultas; ++i)
        consulta(i);
    CALLGRIND_ZERO_STATS;
    for (int i = 0; i < consultas; ++i)
        consulta(i);
    CALLGRIND_DUMP_STATS_AT(nombre.c_str());
}

void contarTabla(Tabla &t, int consultas)
{
    const std::string motor = nombreMotor(t.motor);
    contar(motor + "/telquin", consultas,
           [&t](int i) { exigirEncontrada(GetUnidEst(t.dam(), t.aleatorias[std::size_t(i)], sinAviso)); });
    contar(motor + "/qtsql", consultas, [&t](int i) { exigirEncontrada(t.consultarQt(t.textosQt[std::size_t(i)])); });
    contar(motor + "/" + nombreCrudo(t.motor), consultas, [&t](int i) {
        if (!t.consultarCrudo(t.textosAleatorias[std::size_t(i)]))
            throw ErrorBench("a generated position was not found");
    });
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    registrarComponenteDAM();
    try {
        const Opciones op = leerOpciones(app.arguments());
        Tablas tablas;
        auto sqlite = nuevaTabla(Motor::Sqlite, op.filas);
        sqlite->rutaSqlite = QDir(op.datos).absoluteFilePath(QStringLiteral("ncm-%1.sqlite").arg(op.filas));
        sqlite->urlComponente = QStringLiteral("sqlite:") + sqlite->rutaSqlite;
        tablas.push_back(std::move(sqlite));
        if (!op.pg.isEmpty()) {
            auto pg = nuevaTabla(Motor::Postgres, op.filas);
            pg->conninfoPg = urlConBase(op.pg.toStdString(), "telquin_bench_" + std::to_string(op.filas));
            pg->urlComponente = QString::fromStdString(pg->conninfoPg);
            tablas.push_back(std::move(pg));
        }
        for (const auto &t : tablas)
            contarTabla(*t, op.consultas);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "telquin_bench_instrucciones: %s\n", e.what());
        return 1;
    }
    return 0;
}
