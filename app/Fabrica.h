// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "data/Clases.h"

// The component both front ends work with: the bundled one, registered under its
// class name and created by that name, as the host's own programs create it.
[[nodiscard]] FabricaComponente fabricaDelPrograma();
