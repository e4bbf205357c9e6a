// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The reader of each address form, for leerDireccion, and what they share. Each takes
// the address with its scheme in lower case and fills d: visible and the secrets when
// it can read it, else problema through ilegible.

#include "dam/Direccion.h"

void leerSqlite(Direccion &d, const QString &url);
void leerPostgres(Direccion &d, const QString &url);
void leerOdbc(Direccion &d, const QString &url);

// Marks the address unreadable: nothing of it will be shown.
void ilegible(Direccion &d, const QString &problema);

// The wait an address gives, as written after its "espera=".
void ponerEspera(Direccion &d, const QString &valor);
