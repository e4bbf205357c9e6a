// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// What `telquin --help` writes: the commands, the options and the exit statuses.
[[nodiscard]] QString ayuda();
