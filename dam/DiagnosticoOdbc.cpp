// SPDX-License-Identifier: GPL-3.0-or-later
#include "dam/DiagnosticoOdbc.h"

#include <sqlext.h>

#include <cstdio>
#include <type_traits>

extern "C" __attribute__((visibility("default"))) bool TELQUIN_ENTRADA_ODBC(short tipo, void *manejador,
                                                                            char (&estado)[6])
{
    SQLCHAR leido[SQL_SQLSTATE_SIZE + 1] = {};
    SQLCHAR texto[2];
    SQLINTEGER nativo = 0;
    SQLSMALLINT largo = 0;
    if (!SQL_SUCCEEDED(SQLGetDiagRec(tipo, manejador, 1, leido, &nativo, texto, sizeof texto, &largo)))
        return false;
    return std::snprintf(estado, sizeof estado, "%s", reinterpret_cast<const char *>(leido)) > 0;
}
static_assert(std::is_same_v<decltype(&TELQUIN_ENTRADA_ODBC), EntradaOdbc>);
