// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The module odbc.so, linked to the ODBC driver manager, which QODBC loads anyway for
// an ODBC address: the SQLSTATE of the first diagnostic record of an ODBC handle
// (SQLGetDiagRec), into `estado` (five characters and a null). False when the handle
// has none.
using EntradaOdbc = bool (*)(short tipo, void *manejador, char (&estado)[6]);
#define TELQUIN_ENTRADA_ODBC telquin_estado_odbc_1
extern "C" bool TELQUIN_ENTRADA_ODBC(short tipo, void *manejador, char (&estado)[6]);
