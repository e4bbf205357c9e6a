// SPDX-License-Identifier: GPL-3.0-or-later
// Lookups and updates through Telquin's whole data path, each next to the same
// statement text run through Qt SQL alone and through the raw driver, in this same
// process; on PostgreSQL also Telquin through ODBC.

#include "Rutas.h"

#include "data/Sentencias.h"

#include <algorithm>
#include <functional>

namespace {

const char *const kOperaciones[] = {"lookup-random", "lookup-mix", "update"};

std::string nombre(const Tabla &t, const char *operacion)
{
    return std::string(nombreMotor(t.motor)) + "/" + std::to_string(t.filas) + "/" + operacion;
}

// Every road must give the same answer, or comparing their times means nothing.
void compararRespuestas(Tabla &t)
{
    for (size_t i = 0; i < t.mezcla.size(); ++i) {
        const auto crudo = t.consultarCrudo(t.textosMezcla[i]);
        const QString esperada = crudo ? QString::fromStdString(*crudo) : NotFoundMarker;
        std::vector<std::pair<const char *, QString>> respuestas{
            {"telquin", GetUnidEst(t.dam(), t.mezcla[i], sinAviso)}, {"qtsql", t.consultarQt(t.textosQtMezcla[i])}};
        if (!t.urlOdbc.isEmpty())
            respuestas.emplace_back("telquin_odbc", GetUnidEst(t.damOdbc(), t.mezcla[i], sinAviso));
        for (const auto &[camino, respuesta] : respuestas)
            if (respuesta != esperada)
                throw ErrorBench(std::string(camino) + " and " + nombreCrudo(t.motor) + " disagree on "
                                 + t.mezcla[i].toStdString() + ": " + respuesta.toStdString() + " / "
                                 + esperada.toStdString());
    }
}

} // namespace

void registrarRutaDatos(Tabla &t)
{
    const bool odbc = !t.urlOdbc.isEmpty();
    const std::function<void()> comprobar = [&t] { compararRespuestas(t); };

    std::vector<Camino> consulta{
        consultaTelquin(t),
        consultaCruda(t, nombreCrudo(t.motor)),
        {"qtsql", [&t](size_t i) { exigirEncontrada(t.consultarQt(t.textosQt[i % kClaves])); }}};
    if (odbc)
        consulta.push_back({"telquin_odbc", [&t](size_t i) {
                                exigirEncontrada(GetUnidEst(t.damOdbc(), t.aleatorias[i % kClaves], sinAviso));
                            }});
    registrarComparacion(nombre(t, "lookup-random"), consulta, comprobar);

    std::vector<Camino> mezcla{
        {"telquin",
         [&t](size_t i) { benchmark::DoNotOptimize(GetUnidEst(t.dam(), t.mezcla[i % t.mezcla.size()], sinAviso)); }},
        {nombreCrudo(t.motor),
         [&t](size_t i) { benchmark::DoNotOptimize(t.consultarCrudo(t.textosMezcla[i % t.mezcla.size()])); }},
        {"qtsql", [&t](size_t i) { benchmark::DoNotOptimize(t.consultarQt(t.textosQtMezcla[i % t.mezcla.size()])); }}};
    if (odbc)
        mezcla.push_back({"telquin_odbc", [&t](size_t i) {
                              benchmark::DoNotOptimize(
                                  GetUnidEst(t.damOdbc(), t.mezcla[i % t.mezcla.size()], sinAviso));
                          }});
    registrarComparacion(nombre(t, "lookup-mix"), mezcla);

    // Each road writes the same row in one iteration, so all of them touch the same pages.
    std::vector<Camino> update{
        {"telquin",
         [&t](size_t i) {
             exigirUnaFila(EjecutarUpdate(t.dam(), t.aleatorias[i % kClaves], t.unidades[i % kClaves]));
         }},
        {nombreCrudo(t.motor), [&t](size_t i) { exigirUnaFila(t.ejecutarCrudo(t.textosUpdate[i % kClaves]) == 1); }},
        {"qtsql",
         [&t](size_t i) { exigirUnaFila(t.ejecutarQt(t.textosQtUpdate[i % kClaves]).numRowsAffected() == 1); }}};
    if (odbc)
        update.push_back({"telquin_odbc", [&t](size_t i) {
                              exigirUnaFila(
                                  EjecutarUpdate(t.damOdbc(), t.aleatorias[i % kClaves], t.unidades[i % kClaves]));
                          }});
    registrarComparacion(nombre(t, "update"), update);
}

void informarRutaDatos(Informe &inf, const Tablas &tablas)
{
    inf.linea(QStringLiteral("## Data path: Telquin next to the raw driver"));
    inf.linea();
    inf.linea(QStringLiteral(
        "Median wall time of one operation in µs (the median over the repetitions of each run's median). *Telquin* is "
        "the whole road: "
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
        for (const char *op : kOperaciones) {
            const std::string n = nombre(*t, op);
            if (!inf.hay(n))
                continue;
            const double a = inf.camino(n, "telquin");
            const double b = inf.camino(n, crudo);
            const double qt = inf.camino(n, "qtsql");
            const bool esUpdate = std::string(op) == "update";
            const double limite = esUpdate ? 1.2 : (t->motor == Motor::Sqlite ? 1.12 : 1.05);
            inf.fila({textoMotor(t->motor), filasTexto(t->filas), QString::fromLatin1(op), cifra(a), cifra(qt),
                      cifra(b), QString::fromStdString(crudo), razon(qt, b), razon(a, b),
                      QStringLiteral("≤ %1×").arg(QString::number(limite)), veredicto(a, b, limite)});
        }
    }
    inf.linea();

    const bool hayOdbc = std::any_of(tablas.begin(), tablas.end(), [](const auto &t) { return !t->urlOdbc.isEmpty(); });
    if (!hayOdbc)
        return;
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
        for (const char *op : kOperaciones) {
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
