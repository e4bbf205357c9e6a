// SPDX-License-Identifier: GPL-3.0-or-later
#include "Informe.h"

#include "Generador.h"

#include <QFile>

void Recolector::ReportRuns(const std::vector<Run> &runs)
{
    for (const Run &r : runs) {
        const bool mediana = r.run_type == Run::RT_Aggregate && r.aggregate_name == "median";
        if (r.run_type == Run::RT_Aggregate && !mediana)
            continue;
        Resultado &res = resultados[r.run_name.function_name];
        if (r.error_occurred) {
            res.error = r.error_message;
            continue;
        }
        if (!mediana && !std::isnan(res.us))
            continue;
        res.us = r.GetAdjustedRealTime();
        for (const auto &[n, c] : r.counters)
            res.caminos[n] = c.value;
    }
    ConsoleReporter::ReportRuns(runs);
}

QString cifra(double us)
{
    if (std::isnan(us))
        return QStringLiteral("n/a");
    if (us < 1)
        return QString::number(us, 'f', 3);
    if (us < 100)
        return QString::number(us, 'f', 1);
    return QString::number(us, 'f', 0);
}

QString razon(double a, double b)
{
    if (std::isnan(a) || std::isnan(b) || b <= 0)
        return QStringLiteral("n/a");
    return QString::number(a / b, 'f', 2) + QStringLiteral("×");
}

QString veredicto(double a, double b, double limite)
{
    if (std::isnan(a) || std::isnan(b) || b <= 0)
        return QStringLiteral("not measured");
    return a / b <= limite ? QStringLiteral("met") : QStringLiteral("**missed**");
}

QString filasTexto(std::int64_t n)
{
    QString s = QString::number(n);
    for (qsizetype i = s.size() - 3; i > 0; i -= 3)
        s.insert(i, u',');
    return s;
}

double Informe::camino(const std::string &benchmark, const std::string &camino) const
{
    const auto it = r_.find(benchmark);
    if (it == r_.end())
        return NAN;
    const auto c = it->second.caminos.find(camino);
    return c == it->second.caminos.end() ? NAN : c->second;
}

double Informe::us(const std::string &benchmark) const
{
    const auto it = r_.find(benchmark);
    return it == r_.end() ? NAN : it->second.us;
}

void Informe::fila(const QStringList &celdas)
{
    linea(QStringLiteral("| ") + celdas.join(QStringLiteral(" | ")) + QStringLiteral(" |"));
}

void Informe::fallidos()
{
    QStringList errores;
    for (const auto &[n, res] : r_)
        if (!res.error.empty())
            errores << QStringLiteral("- `%1`: %2").arg(QString::fromStdString(n), QString::fromStdString(res.error));
    if (errores.isEmpty())
        return;
    linea(QStringLiteral("## Benchmarks that failed"));
    linea();
    linea(errores.join(u'\n'));
    linea();
}

void Informe::escribir(const QString &ruta) const
{
    QFile salida(ruta);
    if (!salida.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw ErrorBench("cannot write " + ruta.toStdString());
    salida.write(md_.toUtf8());
}
