// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "dam/Conector.h"

// A PostgreSQL server through libpq itself: the session's settings in the startup
// packet, the chunk's JSON as one parameter, the SQLSTATE of every failure.
[[nodiscard]] std::unique_ptr<Conector> abrirPostgres(const Direccion &d, int espera);
