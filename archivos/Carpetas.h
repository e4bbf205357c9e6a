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

// The folders an XDG list names ("XDG_DATA_DIRS"), in order, relative ones left out;
// `porDefecto` ("/usr/local/share:/usr/share") when it is unset or names none.
[[nodiscard]] QStringList carpetasXdg(const char *variable, const QString &porDefecto);
