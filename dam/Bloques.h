// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The statements that look up or update a whole chunk of positions at once. The
// chunk's values travel as one JSON text, placed in the statement as a literal by
// the same quoting function as every other value, or bound as its one parameter; the
// join is a common table expression, which SQLite and PostgreSQL both read.

#include "codes/Codigos.h"

#include <QString>

#include <utility>
#include <vector>

enum class DialectoDeBloque { Sqlite, Postgres };

// [["8901.10.00","000","L"],...]: the keys, in order.
[[nodiscard]] QString jsonDeClaves(const std::vector<PositionKey> &claves);
// [["8901.10.00","000","L","05"],...]: each key with its new unit.
[[nodiscard]] QString jsonDeCambios(const std::vector<std::pair<PositionKey, QString>> &cambios);

// Rows of (the key's index in the JSON, the unit), for the keys that have one. With
// `bloquear` (PostgreSQL), the rows are locked in key order.
[[nodiscard]] QString textoConsultaEnBloque(DialectoDeBloque dialecto, const QString &json, bool bloquear);
// Sets each key's unit, converted to the unit column's type as a literal would be; a
// row for each row changed: on PostgreSQL the key's index in the JSON, on SQLite the
// three key values as stored (its RETURNING names only the table's columns).
[[nodiscard]] QString textoUpdateEnBloque(DialectoDeBloque dialecto, const QString &json);

// The same statements with the chunk's JSON given by `fuente`, an SQL expression such
// as a statement's parameter ("?1", "$1").
[[nodiscard]] QString consultaEnBloqueDesde(DialectoDeBloque dialecto, const QString &fuente, bool bloquear);
[[nodiscard]] QString updateEnBloqueDesde(DialectoDeBloque dialecto, const QString &fuente);
