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
//
// The roads compared with each other run in turn inside one benchmark (A B C, B C A,
// ...), each timed alone: on a shared machine a burst of load then hits every road
// alike instead of whichever benchmark happened to be running.

#include "Generador.h"

#include "Codigos.h"
#include "Dialecto.h"
#include "Apertura.h"
#include "Registro.h"
#include "Sentencias.h"

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <random>

namespace {

constexpr int kClaves = 4096;

enum class Motor { Sqlite, Postgres };

const char *nombreMotor(Motor m) { return m == Motor::Sqlite ? "SQLite" : "PostgreSQL"; }
const char *nombreCrudo(Motor m) { return m == Motor::Sqlite ? "sqlite3" : "libpq"; }

struct Opciones {
    QString datos;
    QString salida;
    std::vector<std::int64_t> filas{10000, 100000, 1000000};
    QString pg;
    QString odbc;
    int repeticiones = 1;
    benchmark::IterationCount iteraciones = 0;
};

Componente &abrirComponente(std::unique_ptr<Componente> &c, const QString &url)
{
    if (!c) {
        qputenv("DAM_DATABASE_URL", url.toUtf8());
        c = CrearObjeto(kClaseDAM);
        c->loadparameters();
    }
    return *c;
}

// One generated table, the positions and statement texts the benchmarks use on it
// (made before any timing), and the roads that reach it.
struct Tabla {
    Motor motor = Motor::Sqlite;
    std::int64_t filas = 0;
    QString urlComponente;
    QString urlOdbc;         // PostgreSQL through unixODBC; empty when not measured
    QString rutaSqlite;      // SQLite
    std::string conninfoPg;  // PostgreSQL: the raw baseline's connection

    std::vector<QString> aleatorias;
    std::vector<QString> unidades;
    std::vector<QString> mezcla;
    std::vector<QString> textosQt;  // the texts as the driver receives them
    std::vector<QString> textosQtMezcla;
    std::vector<QString> textosQtUpdate;
    std::vector<std::string> textosAleatorias;
    std::vector<std::string> textosMezcla;
    std::vector<std::string> textosUpdate;

    std::unique_ptr<Componente> componente;
    std::unique_ptr<Componente> componenteOdbc;
    std::unique_ptr<SqliteCrudo> sqlite;
    std::unique_ptr<PgCrudo> pg;
    QString nombreQt;

    Tabla() = default;
    Tabla(const Tabla &) = delete;
    Tabla &operator=(const Tabla &) = delete;
    ~Tabla()
    {
        componente.reset();
        componenteOdbc.reset();
        if (!nombreQt.isEmpty()) {
            QSqlDatabase::database(nombreQt, false).close();
            QSqlDatabase::removeDatabase(nombreQt);
        }
    }

    Componente &dam() { return abrirComponente(componente, urlComponente); }
    Componente &damOdbc() { return abrirComponente(componenteOdbc, urlOdbc); }

    // The raw driver's connection, opened at first use.
    void abrirCrudo()
    {
        if (motor == Motor::Sqlite && !sqlite)
            sqlite = std::make_unique<SqliteCrudo>(rutaSqlite);
        if (motor != Motor::Sqlite && !pg)
            pg = std::make_unique<PgCrudo>(conninfoPg);
    }
    std::optional<std::string> consultarCrudo(const std::string &sql)
    {
        abrirCrudo();
        return motor == Motor::Sqlite ? sqlite->consultar(sql) : pg->consultar(sql);
    }
    int ejecutarCrudo(const std::string &sql)
    {
        abrirCrudo();
        return motor == Motor::Sqlite ? sqlite->ejecutar(sql) : pg->ejecutar(sql);
    }
    std::vector<std::string> columnaCruda(const std::string &sql, int col)
    {
        abrirCrudo();
        return motor == Motor::Sqlite ? sqlite->columna(sql, col) : pg->columna(sql, col);
    }

    // Qt SQL alone, on a database opened as the component opens it: what the driver
    // costs without the component.
    QSqlQuery ejecutarQt(const QString &sql)
    {
        if (nombreQt.isEmpty()) {
            nombreQt = QStringLiteral("bench-qt-%1-%2").arg(static_cast<int>(motor)).arg(filas);
            (void)abrirBaseDeDatos(urlComponente, nombreQt);
        }
        QSqlQuery q(QSqlDatabase::database(nombreQt, false));
        q.setForwardOnly(true);
        if (!q.exec(sql))
            throw ErrorBench(q.lastError().text().toStdString());
        return q;
    }
    QString consultarQt(const QString &sql)
    {
        QSqlQuery q = ejecutarQt(sql);
        return q.next() ? q.value(0).toString() : NotFoundMarker;
    }

    // The text the driver receives: servers get "012" for [012], as the component sends it.
    [[nodiscard]] QString textoDriver(const QString &sql) const
    {
        if (motor == Motor::Sqlite)
            return sql;
        return reescribirCorchetes(sql, [](const QString &n) { return QLatin1Char('"') + n + QLatin1Char('"'); });
    }
};

std::unique_ptr<Tabla> nuevaTabla(Motor motor, std::int64_t filas)
{
    auto t = std::make_unique<Tabla>();
    t->motor = motor;
    t->filas = filas;
    std::mt19937_64 azar(20240501u + static_cast<unsigned>(filas));
    std::uniform_int_distribution<std::int64_t> fila(0, filas - 1);
    for (int i = 0; i < kClaves; ++i) {
        t->aleatorias.push_back(posicionGenerada(fila(azar)));
        t->unidades.push_back(QStringLiteral("%1").arg(i * 13 % 100, 2, 10, QLatin1Char('0')));
    }
    // Six positions asked again and again, one that no row has, one with a quote.
    for (int k = 1; k <= 6; ++k)
        t->mezcla.push_back(posicionGenerada(filas * k / 7));
    t->mezcla.push_back(posicionAusente(filas / 2));
    t->mezcla.push_back(QStringLiteral("0000.00.01.00'X"));
    for (int i = 0; i < kClaves; ++i) {
        t->textosQt.push_back(t->textoDriver(textoConsulta(t->aleatorias[i])));
        t->textosAleatorias.push_back(t->textosQt.back().toStdString());
        t->textosQtUpdate.push_back(t->textoDriver(textoUpdate(t->aleatorias[i], t->unidades[i])));
        t->textosUpdate.push_back(t->textosQtUpdate.back().toStdString());
    }
    for (const QString &p : t->mezcla) {
        t->textosQtMezcla.push_back(t->textoDriver(textoConsulta(p)));
        t->textosMezcla.push_back(t->textosQtMezcla.back().toStdString());
    }
    return t;
}

void sinAviso(const QString &) {}

void exigirEncontrada(const QString &unidad)
{
    if (unidad == NotFoundMarker)
        throw ErrorBench("a generated position was not found");
}

void exigirUnaFila(bool cambio)
{
    if (!cambio)
        throw ErrorBench("an update changed no row");
}

// Every road must give the same answer, or comparing their times means nothing.
void compararRespuestas(Tabla &t)
{
    for (size_t i = 0; i < t.mezcla.size(); ++i) {
        const auto crudo = t.consultarCrudo(t.textosMezcla[i]);
        const QString esperada = crudo ? QString::fromStdString(*crudo) : NotFoundMarker;
        std::vector<std::pair<const char *, QString>> respuestas{
            {"telquin", GetUnidEst(t.dam(), t.mezcla[i], sinAviso)},
            {"qtsql", t.consultarQt(t.textosQtMezcla[i])}};
        if (!t.urlOdbc.isEmpty())
            respuestas.emplace_back("telquin_odbc", GetUnidEst(t.damOdbc(), t.mezcla[i], sinAviso));
        for (const auto &[camino, respuesta] : respuestas)
            if (respuesta != esperada)
                throw ErrorBench(std::string(camino) + " and " + nombreCrudo(t.motor) + " disagree on "
                                 + t.mezcla[i].toStdString() + ": " + respuesta.toStdString() + " / "
                                 + esperada.toStdString());
    }
}

benchmark::IterationCount iteracionesFijas = 0;

struct Camino {
    std::string nombre;
    std::function<void(size_t)> paso;  // operation number i
};

double mediana(std::vector<double> &v)
{
    if (v.empty())
        return NAN;
    const auto medio = v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2);
    std::nth_element(v.begin(), medio, v.end());
    return *medio;
}

// Runs the roads in turn, starting one further on at each iteration, and times each
// operation alone. The benchmark's time is the first road's mean; each road's median
// per operation is a counter, which a preempted operation here and there does not move.
void registrarComparacion(const std::string &nombre, std::vector<Camino> caminos, std::function<void()> antes = {})
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

std::string nombre(const Tabla &t, const char *operacion)
{
    return std::string(nombreMotor(t.motor)) + "/" + std::to_string(t.filas) + "/" + operacion;
}

Camino consultaTelquin(Tabla &t, const std::string &nombreCamino = "telquin")
{
    return {nombreCamino, [&t](size_t i) { exigirEncontrada(GetUnidEst(t.dam(), t.aleatorias[i % kClaves], sinAviso)); }};
}

Camino consultaCruda(Tabla &t, const std::string &nombreCamino)
{
    return {nombreCamino, [&t](size_t i) {
                if (!t.consultarCrudo(t.textosAleatorias[i % kClaves]))
                    throw ErrorBench("a generated position was not found");
            }};
}

void registrarTabla(Tabla &t)
{
    const bool odbc = !t.urlOdbc.isEmpty();
    const std::function<void()> comprobar = [&t] { compararRespuestas(t); };

    std::vector<Camino> consulta{consultaTelquin(t), consultaCruda(t, nombreCrudo(t.motor)),
                                 {"qtsql", [&t](size_t i) { exigirEncontrada(t.consultarQt(t.textosQt[i % kClaves])); }}};
    if (odbc)
        consulta.push_back({"telquin_odbc", [&t](size_t i) {
                                exigirEncontrada(GetUnidEst(t.damOdbc(), t.aleatorias[i % kClaves], sinAviso));
                            }});
    registrarComparacion(nombre(t, "lookup-random"), consulta, comprobar);

    std::vector<Camino> mezcla{
        {"telquin", [&t](size_t i) { benchmark::DoNotOptimize(GetUnidEst(t.dam(), t.mezcla[i % t.mezcla.size()], sinAviso)); }},
        {nombreCrudo(t.motor), [&t](size_t i) { benchmark::DoNotOptimize(t.consultarCrudo(t.textosMezcla[i % t.mezcla.size()])); }},
        {"qtsql", [&t](size_t i) { benchmark::DoNotOptimize(t.consultarQt(t.textosQtMezcla[i % t.mezcla.size()])); }}};
    if (odbc)
        mezcla.push_back({"telquin_odbc", [&t](size_t i) {
                              benchmark::DoNotOptimize(GetUnidEst(t.damOdbc(), t.mezcla[i % t.mezcla.size()], sinAviso));
                          }});
    registrarComparacion(nombre(t, "lookup-mix"), mezcla);

    // Each road writes the same row in one iteration, so all of them touch the same pages.
    std::vector<Camino> update{
        {"telquin", [&t](size_t i) { exigirUnaFila(EjecutarUpdate(t.dam(), t.aleatorias[i % kClaves], t.unidades[i % kClaves])); }},
        {nombreCrudo(t.motor), [&t](size_t i) { exigirUnaFila(t.ejecutarCrudo(t.textosUpdate[i % kClaves]) == 1); }},
        {"qtsql", [&t](size_t i) { exigirUnaFila(t.ejecutarQt(t.textosQtUpdate[i % kClaves]).numRowsAffected() == 1); }}};
    if (odbc)
        update.push_back({"telquin_odbc", [&t](size_t i) {
                              exigirUnaFila(EjecutarUpdate(t.damOdbc(), t.aleatorias[i % kClaves], t.unidades[i % kClaves]));
                          }});
    registrarComparacion(nombre(t, "update"), update);
}

std::string caminoCrecimiento(const char *camino, std::int64_t filas)
{
    return std::string(camino) + "@" + std::to_string(filas);
}

// Random lookups on the smallest and the largest table, in turn.
void registrarCrecimiento(Tabla &menor, Tabla &mayor)
{
    const char *crudo = nombreCrudo(menor.motor);
    registrarComparacion(std::string("growth/") + nombreMotor(menor.motor) + "/lookup-random",
                         {consultaTelquin(mayor, caminoCrecimiento("telquin", mayor.filas)),
                          consultaTelquin(menor, caminoCrecimiento("telquin", menor.filas)),
                          consultaCruda(mayor, caminoCrecimiento(crudo, mayor.filas)),
                          consultaCruda(menor, caminoCrecimiento(crudo, menor.filas))});
}

// The F9 handler's calls in its order, without the window and its boxes.
void registrarF9(Tabla &t)
{
    static const QStringList tecleadas{QStringLiteral("5"), QStringLiteral("7."), QStringLiteral("12"),
                                       QStringLiteral(" 3"), QStringLiteral("9,6"), QStringLiteral("01")};
    const std::string base = std::string("F9/") + nombreMotor(t.motor) + "/" + std::to_string(t.filas) + "/";
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
            exigirUnaFila(EjecutarUpdate(dam, sNcm, sUnidEst));
        }
    });
}

struct Resultado {
    double us = NAN;                    // the benchmark's own time per operation
    std::map<std::string, double> caminos;  // µs per operation of each road
    std::string error;
};

// Keeps each benchmark's median over the repetitions (or its only run) for the summary.
class Recolector final : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override
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
    std::map<std::string, Resultado> resultados;
};

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

QString unir(const std::vector<std::string> &v)
{
    QStringList l;
    for (const auto &s : v)
        l << QString::fromStdString(s).simplified();
    return l.join(QStringLiteral("; "));
}

class Informe {
public:
    explicit Informe(const std::map<std::string, Resultado> &r) : r_(r) {}

    [[nodiscard]] double camino(const std::string &benchmark, const std::string &camino) const
    {
        const auto it = r_.find(benchmark);
        if (it == r_.end())
            return NAN;
        const auto c = it->second.caminos.find(camino);
        return c == it->second.caminos.end() ? NAN : c->second;
    }
    [[nodiscard]] double us(const std::string &benchmark) const
    {
        const auto it = r_.find(benchmark);
        return it == r_.end() ? NAN : it->second.us;
    }
    [[nodiscard]] bool hay(const std::string &benchmark) const { return r_.count(benchmark) > 0; }
    void linea(const QString &s = {}) { md_ += s + u'\n'; }
    void fila(const QStringList &celdas) { linea(QStringLiteral("| ") + celdas.join(QStringLiteral(" | ")) + QStringLiteral(" |")); }
    [[nodiscard]] const QString &md() const { return md_; }

private:
    const std::map<std::string, Resultado> &r_;
    QString md_;
};

void escribirInforme(const Opciones &op, const std::vector<std::unique_ptr<Tabla>> &tablas,
                     const std::map<std::string, Resultado> &resultados,
                     const std::vector<std::pair<QString, QString>> &planes, double segundosPreparacion)
{
    Informe inf(resultados);
    const auto motor = [](Motor m) { return QString::fromLatin1(nombreMotor(m)); };

    inf.linea(QStringLiteral("## Data path: Telquin next to the raw driver"));
    inf.linea();
    inf.linea(QStringLiteral(
        "Median wall time of one operation in µs (the median over the repetitions of each run's median). *Telquin* is the whole road: "
        "`CrearObjeto(kClaseDAM)` → component → `textoConsulta`/`textoUpdate` → `GetUnidEst`/`EjecutarUpdate` "
        "→ Qt SQL driver → recordset → text. *Raw* runs the same statement text (on PostgreSQL with `\"012\"` "
        "for `[012]`, as the component sends it) through sqlite3's `prepare_v2`/`step`/`finalize` or libpq's "
        "`PQexec`. *Qt SQL alone* runs that text through a `QSqlQuery` on a database opened as the component "
        "opens it, which splits the overhead between Qt's driver and the component. The roads of one row run "
        "in turn in the same loop of the same process. *random*: 4,096 random existing positions; *mix*: six "
        "positions asked again and again, one missing, one with a quote; *update*: a random existing position "
        "gets a valid unit, one transaction each, with each database's default durability."));
    inf.linea();
    inf.fila({QStringLiteral("Database"), QStringLiteral("Rows"), QStringLiteral("Operation"),
              QStringLiteral("Telquin"), QStringLiteral("Qt SQL alone"), QStringLiteral("Raw"),
              QStringLiteral("Raw driver"), QStringLiteral("Qt SQL / raw"), QStringLiteral("Telquin / raw"),
              QStringLiteral("Target"), QString()});
    inf.linea(QStringLiteral("|---|---:|---|---:|---:|---:|---|---:|---:|---:|---|"));
    for (const auto &t : tablas) {
        const std::string crudo = nombreCrudo(t->motor);
        for (const char *op : {"lookup-random", "lookup-mix", "update"}) {
            const std::string n = nombre(*t, op);
            if (!inf.hay(n))
                continue;
            const double a = inf.camino(n, "telquin");
            const double b = inf.camino(n, crudo);
            const double qt = inf.camino(n, "qtsql");
            const bool esUpdate = std::string(op) == "update";
            const double limite = esUpdate ? 1.2 : (t->motor == Motor::Sqlite ? 1.5 : 1.2);
            inf.fila({motor(t->motor), filasTexto(t->filas), QString::fromLatin1(op), cifra(a),
                      cifra(qt), cifra(b), QString::fromStdString(crudo), razon(qt, b), razon(a, b), QStringLiteral("≤ %1×").arg(QString::number(limite, 'f', 1)),
                      veredicto(a, b, limite)});
        }
    }
    inf.linea();

    const bool hayOdbc = std::any_of(tablas.begin(), tablas.end(), [](const auto &t) { return !t->urlOdbc.isEmpty(); });
    if (hayOdbc) {
        inf.linea(QStringLiteral("## ODBC next to libpq (same server, same table, same loop)"));
        inf.linea();
        inf.linea(QStringLiteral("Telquin through an `odbc:` URL (Qt's QODBC → unixODBC → psqlODBC) next to Telquin "
                                 "through `postgresql://` (QPSQL) and the raw libpq baseline. No target."));
        inf.linea();
        inf.fila({QStringLiteral("Rows"), QStringLiteral("Operation"), QStringLiteral("Telquin ODBC"),
                  QStringLiteral("Telquin QPSQL"), QStringLiteral("libpq"), QStringLiteral("ODBC / libpq")});
        inf.linea(QStringLiteral("|---:|---|---:|---:|---:|---:|"));
        for (const auto &t : tablas) {
            if (t->urlOdbc.isEmpty())
                continue;
            for (const char *op : {"lookup-random", "lookup-mix", "update"}) {
                const std::string n = nombre(*t, op);
                if (!inf.hay(n))
                    continue;
                const double o = inf.camino(n, "telquin_odbc");
                const double b = inf.camino(n, "libpq");
                inf.fila({filasTexto(t->filas), QString::fromLatin1(op), cifra(o), cifra(inf.camino(n, "telquin")),
                          cifra(b), razon(o, b)});
            }
        }
        inf.linea();
    }

    const std::int64_t menor = op.filas.front();
    const std::int64_t mayor = op.filas.back();
    inf.linea(QStringLiteral("## Growth: lookups on %1 rows next to %2 rows").arg(filasTexto(mayor), filasTexto(menor)));
    inf.linea();
    inf.linea(QStringLiteral("Random lookups on the two tables, in turn in one loop. Target for Telquin: at most 1.3×."));
    inf.linea();
    inf.fila({QStringLiteral("Database"), QStringLiteral("Road"), QStringLiteral("%1 rows").arg(filasTexto(menor)),
              QStringLiteral("%1 rows").arg(filasTexto(mayor)), QStringLiteral("Ratio"), QString()});
    inf.linea(QStringLiteral("|---|---|---:|---:|---:|---|"));
    for (Motor m : {Motor::Sqlite, Motor::Postgres}) {
        const std::string n = std::string("growth/") + nombreMotor(m) + "/lookup-random";
        if (!inf.hay(n))
            continue;
        for (const char *c : {"telquin", nombreCrudo(m)}) {
            const double a = inf.camino(n, caminoCrecimiento(c, menor));
            const double b = inf.camino(n, caminoCrecimiento(c, mayor));
            inf.fila({motor(m), QString::fromLatin1(c), cifra(a), cifra(b), razon(b, a),
                      std::string(c) == "telquin" ? veredicto(b, a, 1.3) : QString()});
        }
    }
    inf.linea();
    inf.linea(QStringLiteral("Query plans, as each database explains the statements Telquin sends:"));
    inf.linea();
    for (const auto &[que, plan] : planes)
        inf.linea(QStringLiteral("- %1: `%2`").arg(que, plan));
    inf.linea();

    inf.linea(QStringLiteral("## The F9 road, without the boxes"));
    inf.linea();
    inf.linea(QStringLiteral("The calls of one F9 in the window's order, each alone, then all together: format test "
                             "(`esPosicionValida`), unit normalisation (`formatearUnidad` + `esUnidadValida`), lookup "
                             "(`GetUnidEst`), update (`EjecutarUpdate`). Mean wall µs per operation (median of the "
                             "repetitions)."));
    inf.linea();
    inf.fila({QStringLiteral("Database"), QStringLiteral("Rows"), QStringLiteral("format"), QStringLiteral("unit"),
              QStringLiteral("lookup"), QStringLiteral("update"), QStringLiteral("whole F9")});
    inf.linea(QStringLiteral("|---|---:|---:|---:|---:|---:|---:|"));
    for (const auto &t : tablas) {
        const std::string base = std::string("F9/") + nombreMotor(t->motor) + "/" + std::to_string(t->filas) + "/";
        if (!inf.hay(base + "whole F9"))
            continue;
        QStringList celdas{motor(t->motor), filasTexto(t->filas)};
        for (const char *paso : {"format", "unit", "lookup", "update", "whole F9"})
            celdas << cifra(inf.us(base + paso));
        inf.fila(celdas);
    }
    inf.linea();

    QStringList errores;
    for (const auto &[n, res] : resultados)
        if (!res.error.empty())
            errores << QStringLiteral("- `%1`: %2").arg(QString::fromStdString(n), QString::fromStdString(res.error));
    if (!errores.isEmpty()) {
        inf.linea(QStringLiteral("## Benchmarks that failed"));
        inf.linea();
        inf.linea(errores.join(u'\n'));
        inf.linea();
    }
    inf.linea(QStringLiteral("Tables generated or checked in %1 s; %2 repetition(s) of each benchmark; SQLite %3, Qt %4%5.")
                  .arg(QString::number(segundosPreparacion, 'f', 1))
                  .arg(op.repeticiones)
                  .arg(QString::fromLatin1(sqlite3_libversion()), QString::fromLatin1(qVersion()),
                       tablas.back()->motor == Motor::Postgres
                           ? QStringLiteral(", PostgreSQL ")
                                 + QString::fromStdString(tablas.back()->columnaCruda("SHOW server_version", 0).at(0))
                           : QString()));

    QFile salida(op.salida);
    if (!salida.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw ErrorBench("cannot write " + op.salida.toStdString());
    salida.write(inf.md().toUtf8());
}

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

} // namespace

int main(int argc, char **argv)
{
    const int reps = repeticiones(argc, argv);
    benchmark::Initialize(&argc, argv);
    QCoreApplication app(argc, argv);
    try {
        Opciones op = leerOpciones(app.arguments());
        op.repeticiones = reps;
        iteracionesFijas = op.iteraciones;
        QDir().mkpath(op.datos);
        const QString esquema = esquemaMuestra(QStringLiteral(TELQUIN_SAMPLE_SQL));

        QElapsedTimer reloj;
        reloj.start();
        std::vector<std::unique_ptr<Tabla>> tablas;
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
        const double segundosPreparacion = reloj.elapsed() / 1000.0;

        std::vector<std::pair<QString, QString>> planes;
        for (const auto &t : tablas) {
            if (t->filas != op.filas.front() && t->filas != op.filas.back())
                continue;
            const QString que = QStringLiteral("%1, %2 rows").arg(QString::fromLatin1(nombreMotor(t->motor)),
                                                                  filasTexto(t->filas));
            const std::string prefijo = t->motor == Motor::Sqlite ? "EXPLAIN QUERY PLAN " : "EXPLAIN ";
            const int col = t->motor == Motor::Sqlite ? 3 : 0;
            planes.emplace_back(que + QStringLiteral(", lookup"),
                                unir(t->columnaCruda(prefijo + t->textosAleatorias[0], col)));
            planes.emplace_back(que + QStringLiteral(", update"),
                                unir(t->columnaCruda(prefijo + t->textosUpdate[0], col)));
        }
        for (const auto &[que, plan] : planes)
            std::printf("plan %s: %s\n", qPrintable(que), qPrintable(plan));
        std::fflush(stdout);

        for (const auto &t : tablas)
            registrarTabla(*t);
        for (Motor m : {Motor::Sqlite, Motor::Postgres}) {
            Tabla *menor = nullptr;
            Tabla *mayor = nullptr;
            for (const auto &t : tablas) {
                if (t->motor != m)
                    continue;
                if (t->filas == op.filas.front())
                    menor = t.get();
                if (t->filas == op.filas.back())
                    mayor = t.get();
            }
            if (menor && mayor && menor != mayor)
                registrarCrecimiento(*menor, *mayor);
        }
        const std::int64_t filasF9 = op.filas.size() > 1 ? op.filas[1] : op.filas.front();
        for (const auto &t : tablas)
            if (t->filas == filasF9)
                registrarF9(*t);

        Recolector recolector;
        benchmark::RunSpecifiedBenchmarks(&recolector);
        benchmark::Shutdown();
        escribirInforme(op, tablas, recolector.resultados, planes, segundosPreparacion);
        tablas.clear();
    } catch (const std::exception &e) {
        std::fprintf(stderr, "telquin_bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
