// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The roads measured, each with the benchmarks it registers and the section of the
// summary that reads them.

#include "Informe.h"
#include "Tabla.h"

#include <QString>

#include <cstdint>
#include <utility>
#include <vector>

// Lookups and updates through Telquin's whole data path next to Qt SQL alone and the
// raw driver, on one table (RutaDatos.cpp).
void registrarRutaDatos(Tabla &t);
void informarRutaDatos(Informe &inf, const Tablas &tablas);

// Random lookups on the smallest table next to the largest, with the query plans
// (Crecimiento.cpp). `menor` and `mayor` are their row counts.
using Planes = std::vector<std::pair<QString, QString>>;
// Asks each database for its plan of the first lookup and update on those two tables.
Planes planesDeConsulta(const Tablas &tablas, std::int64_t menor, std::int64_t mayor);
void registrarCrecimiento(const Tablas &tablas, std::int64_t menor, std::int64_t mayor);
void informarCrecimiento(Informe &inf, std::int64_t menor, std::int64_t mayor, const Planes &planes);

// The F9 handler's calls without the window and its boxes, on the tables of `filas`
// rows (RutaF9.cpp).
void registrarF9(const Tablas &tablas, std::int64_t filas);
void informarF9(Informe &inf, const Tablas &tablas);
