// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "data/Clases.h"

#include <QString>

#include <functional>
#include <memory>

class QApplication;
class QCoreApplication;
class ListaOficial;
class Mensajes;

// Installs Qt's Spanish translations (buttons and menus that Qt draws itself), from
// Qt's translations directory unless another is given; without them, a few Spanish
// texts of our own take their place.
void cargarTraducciones(QCoreApplication &app, const QString &directorio = {});

// Empty when Qt has somewhere to put the window: an X server or a Wayland compositor
// that answers, or a platform named in QT_QPA_PLATFORM that needs neither (offscreen).
// Otherwise the message that says so, for standard error: Qt would abort the program.
[[nodiscard]] QString faltaDePantalla();

// What opens the official list in use: none when there is none, ErrorDeLista when it
// cannot be read.
using AbrirLista = std::function<std::unique_ptr<ListaOficial>()>;

// The program's whole start: its name and version, Qt's Spanish translations, then
// the window loaded (warning, component, parameters), the official list opened when
// `abrirLista` is given (a list that cannot be read is told, and the window goes on
// without it), the window shown, and the event loop. Returns the exit status: 0 after
// No or a normal close, non-zero after a component error.
int ejecutarTelquin(QApplication &app, Mensajes &mensajes, FabricaComponente crearComponente = fabricaRegistrada(),
                    const AbrirLista &abrirLista = {});
