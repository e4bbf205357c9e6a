// SPDX-License-Identifier: GPL-3.0-or-later
// The F9 handler's calls in its order, without the window and its boxes: each alone,
// then all together.

#include "Rutas.h"

#include "codes/Codigos.h"
#include "data/Sentencias.h"
#include "operaciones/Cambio.h"

#include <QStringList>

namespace {

const char *const kPasos[] = {"format", "unit", "lookup", "update", "whole F9"};

std::string prefijo(const Tabla &t)
{
    return std::string("F9/") + nombreMotor(t.motor) + "/" + std::to_string(t.filas) + "/";
}

void registrarPasos(Tabla &t)
{
    static const QStringList tecleadas{QStringLiteral("5"),  QStringLiteral("7."),  QStringLiteral("12"),
                                       QStringLiteral(" 3"), QStringLiteral("9,6"), QStringLiteral("01")};
    const std::string base = prefijo(t);
    registrarSolo(base + "format", [&t](benchmark::State &state) {
        size_t i = 0;
        for (auto _ : state)
            benchmark::DoNotOptimize(esPosicionValida(t.aleatorias[i++ % kClaves]));
    });
    registrarSolo(base + "unit", [](benchmark::State &state) {
        size_t i = 0;
        for (auto _ : state) {
            const QString unidad = formatearUnidad(tecleadas[static_cast<int>(i++ % tecleadas.size())]);
            benchmark::DoNotOptimize(esUnidadValida(unidad));
        }
    });
    registrarSolo(base + "lookup", [&t](benchmark::State &state) {
        Componente &dam = t.dam();
        size_t i = 0;
        for (auto _ : state)
            exigirEncontrada(GetUnidEst(dam, t.aleatorias[i++ % kClaves], sinAviso));
    });
    registrarSolo(base + "update", [&t](benchmark::State &state) {
        Componente &dam = t.dam();
        size_t i = 0;
        for (auto _ : state) {
            const size_t k = i++ % kClaves;
            exigirUnaFila(EjecutarUpdate(dam, t.aleatorias[k], formatearUnidad(tecleadas[static_cast<int>(k % 6)])));
        }
    });
    registrarSolo(base + "whole F9", [&t](benchmark::State &state) {
        Componente &dam = t.dam();
        size_t i = 0;
        for (auto _ : state) {
            const size_t k = i++ % kClaves;
            const QString &sNcm = t.aleatorias[k];
            const bool ncmValida = esPosicionValida(sNcm);
            const QString sUnidEst = formatearUnidad(tecleadas[static_cast<int>(k % 6)]);
            const bool unidadValida = esUnidadValida(sUnidEst);
            const QString actual = GetUnidEst(dam, sNcm, sinAviso);
            if (actual == NotFoundMarker || !ncmValida || !unidadValida)
                throw ErrorBench("F9 refused a valid position and unit");
            // The window's own operation: the update and its line in the journal.
            const ResultadoCambio cambio = guardarCambio(dam, sNcm, actual, sUnidEst, QStringLiteral("ventana"));
            exigirUnaFila(cambio.guardado());
            if (cambio.avisoBitacora)
                throw ErrorBench(cambio.avisoBitacora->toStdString());
        }
    });
}

} // namespace

void registrarF9(const Tablas &tablas, std::int64_t filas)
{
    for (const auto &t : tablas)
        if (t->filas == filas)
            registrarPasos(*t);
}

void informarF9(Informe &inf, const Tablas &tablas)
{
    inf.linea(QStringLiteral("## The F9 road, without the boxes"));
    inf.linea();
    inf.linea(QStringLiteral("The calls of one F9 in the window's order, each alone, then all together: format test "
                             "(`esPosicionValida`), unit normalisation (`formatearUnidad` + `esUnidadValida`), lookup "
                             "(`GetUnidEst`), update (`EjecutarUpdate`); the whole F9 stores through the window's own "
                             "operation (`guardarCambio`), so it includes the change journal's line, written to a "
                             "temporary folder. Mean wall µs per operation (median of the repetitions)."));
    inf.linea();
    inf.fila({QStringLiteral("Database"), QStringLiteral("Rows"), QStringLiteral("format"), QStringLiteral("unit"),
              QStringLiteral("lookup"), QStringLiteral("update"), QStringLiteral("whole F9")});
    inf.linea(QStringLiteral("|---|---:|---:|---:|---:|---:|---:|"));
    for (const auto &t : tablas) {
        const std::string base = prefijo(*t);
        if (!inf.hay(base + "whole F9"))
            continue;
        QStringList celdas{textoMotor(t->motor), filasTexto(t->filas)};
        for (const char *paso : kPasos)
            celdas << cifra(inf.us(base + paso));
        inf.fila(celdas);
    }
    inf.linea();
}
