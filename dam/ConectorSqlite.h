// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "dam/Conector.h"

// An SQLite file through the sqlite3 library itself: statements prepared from UTF-8,
// the chunk's JSON bound as one parameter.
[[nodiscard]] std::unique_ptr<Conector> abrirSqlite(const Direccion &d, int espera);
