// SPDX-License-Identifier: GPL-3.0-or-later
// Lookups and updates through Telquin's whole data path, each next to the same
// statement text run through the raw driver in this same process; growth from the
// smallest to the largest table, with the query plans; the F9 road. Prints Google
// Benchmark's table and writes a Markdown summary.
//
//   telquin_bench [--benchmark_...] --datos=DIR --salida=FILE [--filas=10000,100000,1000000]
//                 [--pg=URL] [--odbc=odbc:...] [--iteraciones=N]
// --pg and --odbc default to TELQUIN_PG_URL and TELQUIN_ODBC_URL; without a server
// only SQLite runs. --iteraciones fixes the count of every benchmark, so that a
// profiler's totals divide into per-operation figures.

#include "Rutas.h"
#include "dam/ComponenteDAM.h"

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QRegularExpression>

#include <algorithm>
#include <cstdio>

namespace {

struct Opciones {
    QString datos;
    QString salida;
    std::vector<std::int64_t> filas{10000, 100000, 1000000};
    QString pg;
    QString odbc;
    int repeticiones = 1;
    benchmark::IterationCount iteraciones = 0;
};

QString odbcConBase(const QString &url, const QString &base)
{
    static const QRegularExpression clave(QStringLiteral("(^|;|:)\\s*(DATABASE)\\s*=[^;]*"),
                                          QRegularExpression::CaseInsensitiveOption);
    QString salida = url;
    if (salida.contains(clave))
        return salida.replace(clave, QStringLiteral("\\1\\2=") + base);
    return salida + (salida.endsWith(u';') ? QString() : QStringLiteral(";")) + QStringLiteral("Database=") + base;
}

Opciones leerOpciones(const QStringList &args)
{
    Opciones op;
    op.pg = qEnvironmentVariable("TELQUIN_PG_URL");
    op.odbc = qEnvironmentVariable("TELQUIN_ODBC_URL");
    for (const QString &a : args.mid(1)) {
        const QString valor = a.section(u'=', 1);
        if (a.startsWith(QStringLiteral("--datos=")))
            op.datos = valor;
        else if (a.startsWith(QStringLiteral("--salida=")))
            op.salida = valor;
        else if (a.startsWith(QStringLiteral("--pg=")))
            op.pg = valor;
        else if (a.startsWith(QStringLiteral("--odbc=")))
            op.odbc = valor;
        else if (a.startsWith(QStringLiteral("--iteraciones=")))
            op.iteraciones = valor.toLongLong();
        else if (a.startsWith(QStringLiteral("--filas="))) {
            op.filas.clear();
            for (const QString &f : valor.split(u',', Qt::SkipEmptyParts))
                op.filas.push_back(f.toLongLong());
        } else
            throw ErrorBench("unknown argument " + a.toStdString());
    }
    if (op.datos.isEmpty() || op.salida.isEmpty() || op.filas.empty()
        || std::any_of(op.filas.begin(), op.filas.end(), [](std::int64_t f) { return f < 10; }))
        throw ErrorBench("usage: telquin_bench --datos=DIR --salida=FILE [--filas=N,...] [--pg=URL] [--odbc=URL] "
                         "[--iteraciones=N]");
    std::sort(op.filas.begin(), op.filas.end());
    op.filas.erase(std::unique(op.filas.begin(), op.filas.end()), op.filas.end());
    return op;
}

int repeticiones(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a.rfind("--benchmark_repetitions=", 0) == 0)
            return std::max(1, std::atoi(a.c_str() + 24));
    }
    return 1;
}

// The SQLite tables are kept in op.datos between runs; the PostgreSQL ones are made
// again on the server at each run.
Tablas prepararTablas(const Opciones &op, const QString &esquema)
{
    Tablas tablas;
    for (const std::int64_t n : op.filas) {
        auto t = nuevaTabla(Motor::Sqlite, n);
        t->rutaSqlite = QDir(op.datos).absoluteFilePath(QStringLiteral("ncm-%1.sqlite").arg(n));
        t->urlComponente = QStringLiteral("sqlite:") + t->rutaSqlite;
        const bool generada = prepararSqlite(t->rutaSqlite, esquema, n);
        std::fprintf(stderr, "SQLite, %lld rows: %s\n", static_cast<long long>(n), generada ? "generated" : "cached");
        tablas.push_back(std::move(t));
    }
    if (!op.pg.isEmpty()) {
        for (const std::int64_t n : op.filas) {
            const std::string base = "telquin_bench_" + std::to_string(n);
            std::fprintf(stderr, "PostgreSQL, %lld rows: generating\n", static_cast<long long>(n));
            prepararPostgres(op.pg.toStdString(), base, esquema, n);
            auto t = nuevaTabla(Motor::Postgres, n);
            t->conninfoPg = urlConBase(op.pg.toStdString(), base);
            t->urlComponente = QString::fromStdString(t->conninfoPg);
            if (!op.odbc.isEmpty())
                t->urlOdbc = odbcConBase(op.odbc, QString::fromStdString(base));
            tablas.push_back(std::move(t));
        }
    }
    return tablas;
}

void pie(Informe &inf, const Opciones &op, const Tablas &tablas, double segundosPreparacion)
{
    inf.linea(
        QStringLiteral("Tables generated or checked in %1 s; %2 repetition(s) of each benchmark; SQLite %3, Qt %4%5.")
            .arg(QString::number(segundosPreparacion, 'f', 1))
            .arg(op.repeticiones)
            .arg(QString::fromLatin1(sqlite3_libversion()), QString::fromLatin1(qVersion()),
                 tablas.back()->motor == Motor::Postgres ? QStringLiteral(", PostgreSQL ")
                         + QString::fromStdString(tablas.back()->columnaCruda("SHOW server_version", 0).at(0))
                                                         : QString()));
}

} // namespace

int main(int argc, char **argv)
{
    const int reps = repeticiones(argc, argv);
    benchmark::Initialize(&argc, argv);
    QCoreApplication app(argc, argv);
    registrarComponenteDAM();
    try {
        Opciones op = leerOpciones(app.arguments());
        op.repeticiones = reps;
        fijarIteraciones(op.iteraciones);
        QDir().mkpath(op.datos);
        const QString esquema = esquemaMuestra(QStringLiteral(TELQUIN_SAMPLE_SQL));

        QElapsedTimer reloj;
        reloj.start();
        Tablas tablas = prepararTablas(op, esquema);
        const double segundosPreparacion = reloj.elapsed() / 1000.0;

        const std::int64_t menor = op.filas.front();
        const std::int64_t mayor = op.filas.back();
        const Planes planes = planesDeConsulta(tablas, menor, mayor);
        for (const auto &[que, plan] : planes)
            std::printf("plan %s: %s\n", qPrintable(que), qPrintable(plan));
        std::fflush(stdout);

        for (const auto &t : tablas)
            registrarRutaDatos(*t);
        registrarCrecimiento(tablas, menor, mayor);
        registrarF9(tablas, op.filas.size() > 1 ? op.filas[1] : op.filas.front());

        Recolector recolector;
        benchmark::RunSpecifiedBenchmarks(&recolector);
        benchmark::Shutdown();

        Informe inf(recolector.resultados);
        informarRutaDatos(inf, tablas);
        informarCrecimiento(inf, menor, mayor, planes);
        informarF9(inf, tablas);
        inf.fallidos();
        pie(inf, op, tablas, segundosPreparacion);
        inf.escribir(op.salida);
        tablas.clear();
    } catch (const std::exception &e) {
        std::fprintf(stderr, "telquin_bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
