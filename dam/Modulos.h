// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The parts of the component linked to a database's own client library are modules of
// their own (postgresql.so with libpq, odbc.so with the ODBC driver manager), loaded
// only when an address of that kind is opened: a user of another kind never loads
// that library nor those it brings. They sit in the program's module folder, named
// from the running program's own folder as app/Modulos.h names it, which a test or a
// bench of the build tree finds too, sitting as deep as the program.

// The function `funcion` of the module `archivo`, which is loaded the first time and
// never unloaded. Raises ErrorComponente naming `parte` (what the module does) when
// it cannot be had.
[[nodiscard]] void *funcionDeModulo(const char *archivo, const char *funcion, const QString &parte);

#define TELQUIN_TEXTO(x) #x
#define TELQUIN_NOMBRE(x) TELQUIN_TEXTO(x)
