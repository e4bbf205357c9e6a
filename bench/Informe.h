// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The results Google Benchmark reports, kept for the Markdown summary, and the
// summary itself.

#include <benchmark/benchmark.h>

#include <QString>
#include <QStringList>

#include <cmath>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct Resultado {
    double us = NAN; // the benchmark's own time per operation
    std::map<std::string, double> caminos; // µs per operation of each road
    std::string error;
};

// Keeps each benchmark's median over the repetitions (or its only run) for the summary.
class Recolector final : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override;
    std::map<std::string, Resultado> resultados;
};

// µs with three decimals below 1, one below 100, none above; "n/a" for what was not measured.
QString cifra(double us);
QString razon(double a, double b);
// "met" when a / b is at most limite.
QString veredicto(double a, double b, double limite);
// 1000000 as "1,000,000".
QString filasTexto(std::int64_t n);

class Informe {
public:
    explicit Informe(const std::map<std::string, Resultado> &r) : r_(r) { }

    // A road's median µs per operation in a benchmark, or NAN.
    [[nodiscard]] double camino(const std::string &benchmark, const std::string &camino) const;
    // The benchmark's own time per operation, or NAN.
    [[nodiscard]] double us(const std::string &benchmark) const;
    [[nodiscard]] bool hay(const std::string &benchmark) const { return r_.count(benchmark) > 0; }

    void linea(const QString &s = {}) { md_ += s + u'\n'; }
    void fila(const QStringList &celdas);
    // The section naming the benchmarks that failed, when one did.
    void fallidos();
    [[nodiscard]] const QString &md() const { return md_; }
    void escribir(const QString &ruta) const;

private:
    const std::map<std::string, Resultado> &r_;
    QString md_;
};
