// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// The user's home folder: $HOME, or, when it is unset or empty, the folder the
// password database gives the effective user (as a login shell would set it). "/"
// only when neither gives one.
[[nodiscard]] QString carpetaPersonal();

// The folder an XDG variable names ("XDG_STATE_HOME"), or `bajoLaCarpetaPersonal`
// under the home folder (".local/state") when it is unset, empty or relative: a
// relative value is ignored, as the XDG base directory rules say.
[[nodiscard]] QString carpetaXdg(const char *variable, const QString &bajoLaCarpetaPersonal);

// The absolute folders an XDG list variable names ("XDG_CONFIG_DIRS"), in its order,
// each once; `porDefecto` when it names none.
[[nodiscard]] QStringList carpetasXdgDelEquipo(const char *variable, const QStringList &porDefecto);
