// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class QCoreApplication;

// Installs Qt's own texts in Spanish (qtbase_es: the option parser's errors, the
// buttons and menus Qt draws) from Qt's translations folder, or from `directorio`.
// False when they cannot be loaded; the program then goes on with Qt's English.
bool instalarTraduccionDeQt(QCoreApplication &app, const QString &directorio = {});
