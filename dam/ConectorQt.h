// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "dam/Conector.h"

// Any kind of database through Qt SQL's own driver for it (QSQLITE, QPSQL, QODBC).
[[nodiscard]] std::unique_ptr<Conector> abrirConQtSql(const Direccion &d, int espera);
