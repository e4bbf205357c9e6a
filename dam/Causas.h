// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "dam/Direccion.h"
#include "data/Contrato.h"

#include <QString>

#include <optional>

// Why a driver could not open a database, in the user's words. A failed connection
// has no error code, so this reads the texts: libpq's and unixODBC's in English (the
// opening runs with the drivers' messages in English), the server's in English or
// Spanish (they follow the server's lc_messages).
[[nodiscard]] QString causaDeApertura(const QString &textoDriver);
// The same for a PostgreSQL connection, from what libpq tells besides its text, which
// holds in any language the server speaks: the SQLSTATE when the server itself refused
// the connection, and whether it asked for a password there was none for. The text
// is read for what libpq found on its own side (a name, a port).
[[nodiscard]] QString causaDeAperturaPostgres(const QString &textoDriver, const QString &estadoSql, bool faltabaClave);

// What a failed statement, begin or commit left to tell why, read at once.
struct Fallo {
    // The driver's whole text, and the database's own part of it.
    QString texto;
    QString textoBase;
    // SQLite's extended result code; -1 from a server.
    int codigoSqlite = -1;
    // The server's SQLSTATE; empty from SQLite, and when none came (libpq's own
    // failures, such as a link that broke, have none).
    QString estadoSql;
    // Known already to have come with the connection's loss.
    bool perdida = false;
};

struct CausaDeFallo {
    QString texto;
    // Set for a passing condition: the same statement is worth trying again.
    std::optional<CondicionPasajera> pasajera;
};

// Why a statement failed, from SQLite's extended result code or the server's
// SQLSTATE: never from the server's words, which follow its language.
[[nodiscard]] CausaDeFallo causaDeSentencia(const Fallo &fallo, const QString &entidad, int espera);

// The server ended the session (shut down, restarted, or an administrator ended it),
// or the link to it broke: the connection is gone, whatever the statement was.
[[nodiscard]] inline bool sesionTerminada(const Fallo &fallo)
{
    const QString &estado = fallo.estadoSql;
    return estado == QLatin1String("57P01") || estado == QLatin1String("57P02") || estado == QLatin1String("57P03")
        || estado.startsWith(QLatin1String("08"));
}
