// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "data/Clases.h"

#include <QStringList>

#include <vector>

struct Contexto;
struct Orden;

// The command line: `telquin ORDEN ARGUMENTOS...`. Creates its own QCoreApplication,
// shows no window, and returns the program's exit status (see estados below).
// salidaCerrada: standard output was closed when the program started. Each command
// that needs the database gets a component from `crearComponente`, its parameters
// loaded.
int ejecutarLinea(int argc, char **argv, bool salidaCerrada, FabricaComponente crearComponente);

// The command line's work on the arguments (the program's name first), with the
// commands `ordenes` declares, in what the context gives: in-process, once a
// QCoreApplication exists.
int ejecutarOrdenes(Contexto &contexto, const QStringList &argumentos, const std::vector<Orden> &ordenes);

namespace estado {
inline constexpr int kHecho = 0;
inline constexpr int kProblemaDeDatos = 1; // nothing was stored
inline constexpr int kUso = 2;
inline constexpr int kFalloDeBase = 3; // failed or busy; nothing was stored
inline constexpr int kSinBitacora = 4; // stored, not journaled
inline constexpr int kSinSalida = 5; // standard output could not be written
// The commit's answer was lost and the database could not be asked what became of it.
inline constexpr int kDesenlaceIncierto = 6;
// 128 and the signal's number (SIGINT 130, SIGTERM 143, SIGHUP 129): stopped before the
// commit, nothing stored; or come after it, everything stored and journaled.
[[nodiscard]] inline constexpr int porSenal(int senal) { return 128 + senal; }
} // namespace estado
