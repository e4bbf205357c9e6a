// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Seconds a statement may wait on a row or a file another user holds.
inline constexpr int kEsperaPorDefecto = 5;
inline constexpr int kEsperaMaxima = 60;

// The wait written as text: whole seconds from 1 to kEsperaMaxima; 0 when it is not.
[[nodiscard]] inline int leerEspera(const QString &texto)
{
    bool numero = false;
    const int segundos = texto.trimmed().toInt(&numero);
    return numero && segundos >= 1 && segundos <= kEsperaMaxima ? segundos : 0;
}
