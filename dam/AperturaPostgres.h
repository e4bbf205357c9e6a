// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Opening a PostgreSQL connection in postgresql.so, and why it was refused.

#include "dam/ConectorPostgres.h"

#include <libpq-fe.h>

#include <QString>

namespace postgres {

// A connection to the first address that answers, within the wait for each; null or
// not CONNECTION_OK when none did (`agotada`: the last one's wait ran out).
[[nodiscard]] PGconn *conectar(const PedidoPostgres &pedido, bool &agotada);
// Why the connection was refused, in libpq's default words, and the server's SQLSTATE
// in `estadoSql` when it sent one.
[[nodiscard]] QString textoDeConexion(PGconn *conexion, bool agotada, QString &estadoSql);

} // namespace postgres
