// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The generated tables the benchmarks run on, the positions and statement texts
// they use (made before any timing), and the roads that reach them: Telquin's
// component, Qt SQL alone and the raw driver.

#include "Comparacion.h"
#include "Generador.h"
#include "dam/Direccion.h"

#include "data/Contrato.h"

#include <QSqlQuery>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

constexpr int kClaves = 4096;

// The bench measures two of the component's kinds: Motor::Sqlite and Motor::Postgres.

const char *nombreMotor(Motor m);
const char *nombreCrudo(Motor m);
QString textoMotor(Motor m);

struct Tabla {
    Motor motor = Motor::Sqlite;
    std::int64_t filas = 0;
    QString urlComponente;
    QString urlOdbc; // PostgreSQL through unixODBC; empty when not measured
    QString rutaSqlite; // SQLite
    std::string conninfoPg; // PostgreSQL: the raw baseline's connection

    std::vector<QString> aleatorias;
    std::vector<QString> unidades;
    std::vector<QString> mezcla;
    std::vector<QString> textosQt; // the texts as the driver receives them
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
    ~Tabla();

    Componente &dam();
    Componente &damOdbc();

    // The raw driver's connection, opened at first use.
    void abrirCrudo();
    std::optional<std::string> consultarCrudo(const std::string &sql);
    int ejecutarCrudo(const std::string &sql);
    std::vector<std::string> columnaCruda(const std::string &sql, int col);

    // Qt SQL alone, on a database opened as the component opens it: what the driver
    // costs without the component.
    QSqlQuery ejecutarQt(const QString &sql);
    QString consultarQt(const QString &sql);

    // The text the driver receives: servers get "012" for [012], as the component sends it.
    [[nodiscard]] QString textoDriver(const QString &sql) const;
};

using Tablas = std::vector<std::unique_ptr<Tabla>>;

// A table of `filas` rows with its positions and texts; where it lives is the caller's.
std::unique_ptr<Tabla> nuevaTabla(Motor motor, std::int64_t filas);

void sinAviso(const QString &);
void exigirEncontrada(const QString &unidad);
void exigirUnaFila(bool cambio);

// Random lookups of the table's positions: through Telquin, and the same texts
// through the raw driver.
Camino consultaTelquin(Tabla &t, const std::string &nombreCamino = "telquin");
Camino consultaCruda(Tabla &t, const std::string &nombreCamino);
