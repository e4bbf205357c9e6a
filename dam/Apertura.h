// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "dam/Direccion.h"
#include "dam/MensajesEnIngles.h"
#include "dam/Parametros.h"

#include <QByteArray>
#include <QList>
#include <QSqlDatabase>
#include <QString>

#include <functional>
#include <optional>
#include <utility>

// Opens the database of an address (see Direccion.h) under the given Qt connection
// name. No statement waits longer than `espera` seconds on what another user holds
// (the address's own wait, when it gives one, wins). Raises ErrorComponente naming
// the cause; never creates a database file; no text it raises holds the password.
[[nodiscard]] QSqlDatabase abrirBaseDeDatos(const Direccion &d, const QString &nombreConexion,
                                            int espera = kEsperaPorDefecto);

// Opens again a database whose connection was lost, with the same settings. False
// when it cannot.
[[nodiscard]] bool reabrirBaseDeDatos(QSqlDatabase &db, Motor motor, int espera);

// The SQLite file of an address, as an absolute path, once it is known to be a file;
// else raises the error that says what is there instead (and, for the default
// database, how to create it).
[[nodiscard]] QString archivoSqlite(const Direccion &d);
// The URI that opens that file for reading and writing, and never creates it.
[[nodiscard]] QString uriSqlite(const QString &ruta);

// What a PostgreSQL connection is opened with beyond host, port, user, password and
// database, as libpq's keywords and values: the session's settings in the startup
// packet (the lock wait, literals read as written, a check for a client that went
// away), UTF-8, keepalives, and the address's own options.
[[nodiscard]] QList<std::pair<QString, QString>> ajustesDeSesionPostgres(const Direccion &d, int espera);

// Runs one statement of the session's setup; the server's reason when it failed.
using EjecutorDeAjuste = std::function<std::optional<QString>(const QString &sentencia)>;

// Through ODBC the session settings are statements, each one's result looked at.
// Every server is asked for the lock wait; one that refuses it gives a warning
// (avisarDelComponente). A PostgreSQL server is also asked to read literals as
// written, and refusing that raises ErrorComponente; and to notice a client that
// went away, refusing which gives a warning.
void ajustarSesionOdbc(const EjecutorDeAjuste &ejecutar, bool postgres, int espera);
