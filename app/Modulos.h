// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The program `telquin` links no Qt library: it loads one of two modules, each with
// the Qt libraries it needs and no others. With arguments, the command line's (Qt Core
// and Qt SQL); without, the window's (Qt Widgets and Qt Gui besides). Loaded by a
// program that holds nothing else, each module's libraries are found and bound as
// cheaply as if the program linked them itself.
//
// The modules live in TELQUIN_CARPETA_MODULOS, a folder named relative to the
// program's own folder: the package and the build tree lay them out the same way.

// The function every module exports: it runs the program's whole start and returns
// its exit status.
inline constexpr const char *kEntradaDeModulo = "telquin_entrada";
using EntradaDeModulo = int (*)(int argc, char **argv);
extern "C" int telquin_entrada(int argc, char **argv);

// Loads the module `nombre` from beside the running program and runs its entry. When
// it cannot be loaded, says why on standard error and returns 1.
int ejecutarModulo(const char *nombre, int argc, char **argv);
