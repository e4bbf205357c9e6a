// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "dam/Conector.h"

// An ODBC data source through Qt's QODBC driver, the one kind of database Qt SQL
// serves here: it gives statements Unicode, and knows each driver's quoting; the
// SQLSTATE of a failure comes from the driver manager (DiagnosticoOdbc.h). Servers
// other than PostgreSQL go row by row.
[[nodiscard]] std::unique_ptr<Conector> abrirOdbc(const Direccion &d, int espera);

// The ODBC handle that QODBC's handle() holds (a connection's, from the driver; a
// statement's, from a result), checked by its type's name; null for any other value,
// such as another driver's handle.
[[nodiscard]] void *manejadorOdbc(const QVariant &handle);
