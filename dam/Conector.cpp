// SPDX-License-Identifier: GPL-3.0-or-later
#include "dam/Conector.h"

#include "dam/ConectorOdbc.h"
#include "dam/ConectorPostgres.h"
#include "dam/ConectorSqlite.h"

std::unique_ptr<Conector> abrirConector(const Direccion &d, int espera)
{
    if (!d.problema.isEmpty())
        throw errorDeDireccion(d);
    espera = esperaDe(d, espera);
    // A new kind of database is one more connector, and one more case here.
    switch (d.motor) {
    case Motor::Sqlite:
        return abrirSqlite(d, espera);
    case Motor::Postgres:
        return abrirPostgres(d, espera);
    case Motor::Odbc:
        return abrirOdbc(d, espera);
    case Motor::Ninguno:
        break;
    }
    throw errorDeDireccion(d);
}
