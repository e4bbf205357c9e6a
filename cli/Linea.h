// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The command line: `telquin ORDEN ARGUMENTOS...`. Creates its own QCoreApplication,
// shows no window, and returns the program's exit status (see estados below).
int ejecutarLinea(int argc, char **argv);

namespace estado {
inline constexpr int kHecho = 0;
inline constexpr int kProblemaDeDatos = 1; // nothing was stored
inline constexpr int kUso = 2;
inline constexpr int kFalloDeBase = 3; // failed or busy; nothing was stored
inline constexpr int kSinBitacora = 4; // stored, not journaled
inline constexpr int kSinSalida = 5; // standard output could not be written
inline constexpr int kInterrumpido = 130; // Ctrl+C before the commit; nothing was stored
} // namespace estado
