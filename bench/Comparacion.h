// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// How the benchmarks are registered. The roads compared with each other run in turn
// inside one benchmark (A B C, B C A, ...), each timed alone: on a shared machine a
// burst of load then hits every road alike instead of whichever benchmark happened
// to be running.

#include <benchmark/benchmark.h>

#include <functional>
#include <string>
#include <vector>

struct Camino {
    std::string nombre;
    std::function<void(size_t)> paso; // operation number i
};

// Every benchmark registered after this runs exactly n iterations (0: as many as
// Google Benchmark decides), so that a profiler's totals divide into per-operation figures.
void fijarIteraciones(benchmark::IterationCount n);

// Runs the roads in turn, starting one further on at each iteration, and times each
// operation alone. The benchmark's time is the first road's mean; each road's median
// per operation is a counter, which a preempted operation here and there does not move.
// `antes` runs once before the timing.
void registrarComparacion(const std::string &nombre, std::vector<Camino> caminos, std::function<void()> antes = {});

// One road timed alone, by Google Benchmark's own loop.
void registrarSolo(const std::string &nombre, std::function<void(benchmark::State &)> cuerpo);
