// SPDX-License-Identifier: GPL-3.0-or-later
#include "Comparacion.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <exception>

namespace {

benchmark::IterationCount iteracionesFijas = 0;

double mediana(std::vector<double> &v)
{
    if (v.empty())
        return NAN;
    const auto medio = v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2);
    std::nth_element(v.begin(), medio, v.end());
    return *medio;
}

} // namespace

void fijarIteraciones(benchmark::IterationCount n) { iteracionesFijas = n; }

void registrarComparacion(const std::string &nombre, std::vector<Camino> caminos, std::function<void()> antes)
{
    auto *b = benchmark::RegisterBenchmark(nombre.c_str(), [caminos, antes](benchmark::State &state) {
        using Reloj = std::chrono::steady_clock;
        try {
            if (antes)
                antes();
            const size_t n = caminos.size();
            std::vector<std::vector<double>> tiempos(n);
            for (auto &t : tiempos)
                t.reserve(static_cast<size_t>(state.max_iterations));
            size_t i = 0;
            for (auto _ : state) {
                for (size_t k = 0; k < n; ++k) {
                    const size_t c = (i + k) % n;
                    const auto t0 = Reloj::now();
                    caminos[c].paso(i);
                    tiempos[c].push_back(std::chrono::duration<double, std::micro>(Reloj::now() - t0).count());
                }
                state.SetIterationTime(tiempos[0].back() / 1e6);
                ++i;
            }
            for (size_t c = 0; c < n; ++c)
                state.counters[caminos[c].nombre] = mediana(tiempos[c]);
        } catch (const std::exception &e) {
            state.SkipWithError(e.what());
        }
    });
    b->Unit(benchmark::kMicrosecond)->UseManualTime();
    if (iteracionesFijas > 0)
        b->Iterations(iteracionesFijas);
}

void registrarSolo(const std::string &nombre, std::function<void(benchmark::State &)> cuerpo)
{
    auto *b = benchmark::RegisterBenchmark(nombre.c_str(), [cuerpo](benchmark::State &state) {
        try {
            cuerpo(state);
        } catch (const std::exception &e) {
            state.SkipWithError(e.what());
        }
    });
    b->Unit(benchmark::kMicrosecond)->UseRealTime();
    if (iteracionesFijas > 0)
        b->Iterations(iteracionesFijas);
}
