// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "dam/Espera.h"

#include <QString>
#include <QStringList>

struct ParametrosDAM {
    QString url;
    // Where the address was found, as a message names it ("la variable
    // DAM_DATABASE_URL", "el archivo RUTA en la línea N"): a message about an address
    // that cannot be read names this instead of the address.
    QString origen;
    // Seconds a statement may wait on a row or a file another user holds.
    int espera = kEsperaPorDefecto;
};

// Where the bundled component finds its database, first found wins: the variable
// DAM_DATABASE_URL, key "url" of section [database] in $XDG_CONFIG_HOME/telquin/dam.conf,
// then in the same file under each of $XDG_CONFIG_DIRS (for the whole machine). Key
// "espera" of the same section sets the wait. Every dam.conf that exists is read and
// checked, also when the variable gives the address: a line that is not blank, a
// comment, the [database] header or a known key raises ErrorDeConfiguracion naming
// the file and the line, and so does a dam.conf that is not a regular file (a FIFO,
// a device) or cannot be read. sqlite:$XDG_DATA_HOME/telquin/ncm.sqlite is used only when there
// is neither a dam.conf nor the variable; a dam.conf without an address, with no
// other source giving one, is an error. The warning of avisoDeClaveLegible goes to
// standard error, once a run for each file, and the program goes on.
[[nodiscard]] ParametrosDAM resolverParametros();

[[nodiscard]] QString rutaBaseDeDatosPorDefecto();

// ParametrosDAM::origen of the address used when no source gives one.
inline const QString kOrigenPorDefecto = QStringLiteral("la dirección por defecto");

// Where dam.conf is looked for: the user's folder, then each absolute folder of
// $XDG_CONFIG_DIRS (/etc/xdg when it names none).
[[nodiscard]] QStringList carpetasDeConfiguracion();

// The warning owed for the user's own dam.conf when its address holds a password and
// the file can be read by its group or by others; empty when none is owed.
[[nodiscard]] QString avisoDeClaveLegible(const QString &ruta, const QString &url);
