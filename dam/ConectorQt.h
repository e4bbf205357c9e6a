// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "dam/Conector.h"

// Any kind of database through Qt SQL's own driver for it (QSQLITE, QPSQL, QODBC).
[[nodiscard]] std::unique_ptr<Conector> abrirConQtSql(const Direccion &d, int espera);

// The ODBC handle that QODBC's handle() holds (a connection's, from the driver; a
// statement's, from a result), checked by its type's name; null for any other value,
// such as another driver's handle.
[[nodiscard]] void *manejadorOdbc(const QVariant &handle);
