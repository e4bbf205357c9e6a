// SPDX-License-Identifier: GPL-3.0-or-later
// Makes what the `lote` benchmark needs: a pristine SQLite table of N generated rows
// (DIR/lote-N.sqlite, which the runs copy before each one), or the same table on a
// PostgreSQL server (database telquin_bench_lote, with a copy ncm_original to reset
// from), and for each M, DIR/lote-M.csv: M distinct rows of it in a fixed random
// order, each given a unit other than its own. A smaller batch is the start of a
// larger one.
//
//   telquin_bench_lote_preparar --datos=DIR --filas=N --cambios=M[,M...] [--pg=URL]

#include "Generador.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <numeric>
#include <random>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QString datos;
    QString pg;
    std::int64_t filas = 0;
    std::vector<std::int64_t> cambios;
    for (const QString &a : app.arguments().mid(1)) {
        const QString valor = a.section(u'=', 1);
        if (a.startsWith(QStringLiteral("--datos=")))
            datos = valor;
        else if (a.startsWith(QStringLiteral("--filas=")))
            filas = valor.toLongLong();
        else if (a.startsWith(QStringLiteral("--cambios=")))
            for (const QString &m : valor.split(u','))
                cambios.push_back(m.toLongLong());
        else if (a.startsWith(QStringLiteral("--pg=")))
            pg = valor;
    }
    const bool cambiosValidos = !cambios.empty()
        && std::all_of(cambios.begin(), cambios.end(), [&](std::int64_t m) { return m >= 1 && m <= filas; });
    if (datos.isEmpty() || filas < 1 || !cambiosValidos) {
        std::fprintf(stderr,
                     "usage: telquin_bench_lote_preparar --datos=DIR --filas=N --cambios=M[,M...] [--pg=URL]\n");
        return 2;
    }
    try {
        QDir().mkpath(datos);
        const QString esquema = esquemaMuestra(QStringLiteral(TELQUIN_SAMPLE_SQL));
        if (pg.isEmpty()) {
            const QString ruta = QDir(datos).absoluteFilePath(QStringLiteral("lote-%1.sqlite").arg(filas));
            const bool generada = prepararSqlite(ruta, esquema, filas);
            std::fprintf(stderr, "SQLite, %lld rows: %s\n", static_cast<long long>(filas),
                         generada ? "generated" : "cached");
        } else {
            const std::string base = "telquin_bench_lote";
            prepararPostgres(pg.toStdString(), base, esquema, filas);
            PgCrudo db(urlConBase(pg.toStdString(), base));
            db.ejecutar("CREATE TABLE ncm_original AS SELECT * FROM ncm");
        }

        std::vector<std::int64_t> elegidas(static_cast<std::size_t>(filas));
        std::iota(elegidas.begin(), elegidas.end(), 0);
        std::mt19937_64 azar(20261208u);
        std::shuffle(elegidas.begin(), elegidas.end(), azar);
        for (const std::int64_t m : cambios) {
            QByteArray csv = "posicion,unidad\n";
            for (std::int64_t k = 0; k < m; ++k) {
                const std::int64_t i = elegidas[static_cast<std::size_t>(k)];
                const int otra = (unidadGenerada(i).toInt() + 1) % 100;
                csv += posicionGenerada(i).toLatin1() + ',' + QByteArray::number(otra).rightJustified(2, '0') + '\n';
            }
            QFile archivo(QDir(datos).absoluteFilePath(QStringLiteral("lote-%1.csv").arg(m)));
            if (!archivo.open(QIODevice::WriteOnly | QIODevice::Truncate) || archivo.write(csv) != csv.size())
                throw ErrorBench("cannot write " + archivo.fileName().toStdString());
        }
    } catch (const std::exception &e) {
        std::fprintf(stderr, "telquin_bench_lote_preparar: %s\n", e.what());
        return 1;
    }
    return 0;
}
