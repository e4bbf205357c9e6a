// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "dam/Conector.h"

#include <QByteArray>
#include <QString>

#include <utility>
#include <vector>

// A PostgreSQL server through libpq itself. The connector is a module of its own,
// postgresql.so, the one part of the program linked to libpq: it is loaded from the
// program's module folder when a PostgreSQL address is first opened, so that a user of
// SQLite or ODBC never loads libpq and the libraries it brings.
[[nodiscard]] std::unique_ptr<Conector> abrirPostgres(const Direccion &d, int espera);

// What follows is shared by the component and the module, built from the same sources.

// What the module opens a connection with, everything the address says already read.
struct PedidoPostgres {
    // libpq's keywords and values, in UTF-8: host, port, user, password, database and
    // the session's settings, which travel in the startup packet.
    std::vector<std::pair<QByteArray, QByteArray>> parametros;
    int espera = 0;
    // The chunked statements (Bloques.h), their JSON as the parameter $1.
    QByteArray consulta;
    QByteArray consultaBloqueando;
    QByteArray actualizacion;
};

// Why a connection could not be opened, as libpq and the server told it.
struct AperturaFallida {
    // libpq's text, in English where it is libpq's own.
    QString texto;
    // The server's SQLSTATE, when the server itself refused the connection.
    QString estadoSql;
    // The server asked for a password and none was given (PQconnectionNeedsPassword).
    bool faltabaClave = false;
};

// The module's one visible function: a connector, or none and why in `fallo`. Its name
// carries a number to change whenever these structures or Conector.h change, so that
// a module left from another build is refused rather than called wrongly.
using EntradaPostgres = Conector *(*)(const PedidoPostgres &pedido, AperturaFallida &fallo);
#define TELQUIN_ENTRADA_POSTGRES telquin_conector_postgres_2
extern "C" Conector *TELQUIN_ENTRADA_POSTGRES(const PedidoPostgres &pedido, AperturaFallida &fallo);
