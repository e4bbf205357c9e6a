// SPDX-License-Identifier: GPL-3.0-or-later
#include "Tabla.h"

#include "dam/Apertura.h"
#include "dam/Dialecto.h"
#include "data/Clases.h"
#include "data/Sentencias.h"

#include <QSqlDatabase>
#include <QSqlError>

#include <random>

namespace {

Componente &abrirComponente(std::unique_ptr<Componente> &c, const QString &url)
{
    if (!c) {
        qputenv("DAM_DATABASE_URL", url.toUtf8());
        c = CrearObjeto(kClaseDAM);
        c->loadparameters();
    }
    return *c;
}

} // namespace

const char *nombreMotor(Motor m) { return m == Motor::Sqlite ? "SQLite" : "PostgreSQL"; }
const char *nombreCrudo(Motor m) { return m == Motor::Sqlite ? "sqlite3" : "libpq"; }
QString textoMotor(Motor m) { return QString::fromLatin1(nombreMotor(m)); }

Tabla::~Tabla()
{
    componente.reset();
    componenteOdbc.reset();
    if (!nombreQt.isEmpty()) {
        QSqlDatabase::database(nombreQt, false).close();
        QSqlDatabase::removeDatabase(nombreQt);
    }
}

Componente &Tabla::dam() { return abrirComponente(componente, urlComponente); }
Componente &Tabla::damOdbc() { return abrirComponente(componenteOdbc, urlOdbc); }

void Tabla::abrirCrudo()
{
    if (motor == Motor::Sqlite && !sqlite)
        sqlite = std::make_unique<SqliteCrudo>(rutaSqlite);
    if (motor != Motor::Sqlite && !pg)
        pg = std::make_unique<PgCrudo>(conninfoPg);
}

std::optional<std::string> Tabla::consultarCrudo(const std::string &sql)
{
    abrirCrudo();
    return motor == Motor::Sqlite ? sqlite->consultar(sql) : pg->consultar(sql);
}

int Tabla::ejecutarCrudo(const std::string &sql)
{
    abrirCrudo();
    return motor == Motor::Sqlite ? sqlite->ejecutar(sql) : pg->ejecutar(sql);
}

std::vector<std::string> Tabla::columnaCruda(const std::string &sql, int col)
{
    abrirCrudo();
    return motor == Motor::Sqlite ? sqlite->columna(sql, col) : pg->columna(sql, col);
}

QSqlQuery Tabla::ejecutarQt(const QString &sql)
{
    if (nombreQt.isEmpty()) {
        nombreQt = QStringLiteral("bench-qt-%1-%2").arg(static_cast<int>(motor)).arg(filas);
        (void)abrirBaseDeDatos(leerDireccion(urlComponente), nombreQt);
    }
    QSqlQuery q(QSqlDatabase::database(nombreQt, false));
    q.setForwardOnly(true);
    if (!q.exec(sql))
        throw ErrorBench(q.lastError().text().toStdString());
    return q;
}

QString Tabla::consultarQt(const QString &sql)
{
    QSqlQuery q = ejecutarQt(sql);
    return q.next() ? q.value(0).toString() : NotFoundMarker;
}

QString Tabla::textoDriver(const QString &sql) const
{
    if (motor == Motor::Sqlite)
        return sql;
    struct EntreComillas final : Citador {
        QString citado;
        QStringView citar(QStringView nombre) override { return citado = u'"' + nombre.toString() + u'"'; }
    } citar;
    return adaptarSentencia(sql, &citar).texto;
}

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

void sinAviso(const QString &) { }

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

Camino consultaTelquin(Tabla &t, const std::string &nombreCamino)
{
    return {nombreCamino,
            [&t](size_t i) { exigirEncontrada(GetUnidEst(t.dam(), t.aleatorias[i % kClaves], sinAviso)); }};
}

Camino consultaCruda(Tabla &t, const std::string &nombreCamino)
{
    return {nombreCamino, [&t](size_t i) {
                if (!t.consultarCrudo(t.textosAleatorias[i % kClaves]))
                    throw ErrorBench("a generated position was not found");
            }};
}
