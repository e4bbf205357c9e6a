// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class QSqlError;

// Why a driver could not open a database, in the user's words. A failed connection
// has no error code, so this reads the texts: libpq's and unixODBC's in English (the
// opening runs with the drivers' messages in English), the server's in English or
// Spanish (they follow the server's lc_messages).
[[nodiscard]] QString causaDeApertura(const QString &textoDriver);

struct CausaDeFallo {
    QString texto;
    // Another user holds what the statement needs: worth trying again.
    bool ocupado = false;
};

// Why a statement failed: SQLite's extended result code, PostgreSQL's SQLSTATE, and
// for ODBC, which gives neither, the server's text in English or Spanish.
[[nodiscard]] CausaDeFallo causaDeSentencia(const QSqlError &error, const QString &driver, const QString &entidad,
                                            int espera);
