// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

inline constexpr int kEsperaPorDefecto = 5;
inline constexpr int kEsperaMaxima = 60;

struct ParametrosDAM {
    QString url;
    // Seconds a statement may wait on a row or a file another user holds.
    int espera = kEsperaPorDefecto;
};

// Where the bundled component finds its database, first found wins: the variable
// DAM_DATABASE_URL, key "url" of section [database] in $XDG_CONFIG_HOME/telquin/dam.conf
// (then in the same file under $XDG_CONFIG_DIRS, for the whole machine), then
// sqlite:$XDG_DATA_HOME/telquin/ncm.sqlite. Key "espera" of the same section sets
// the wait. A file that cannot be read raises ErrorComponente naming it and the line.
[[nodiscard]] ParametrosDAM resolverParametros();
[[nodiscard]] QString resolverUrlBaseDeDatos();

[[nodiscard]] QString rutaBaseDeDatosPorDefecto();

// The wait written as text: whole seconds from 1 to kEsperaMaxima; 0 when it is not.
[[nodiscard]] int leerEspera(const QString &texto);
