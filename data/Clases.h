// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "data/Contrato.h"

#include <functional>
#include <memory>

inline const QString kClaseDAM = QStringLiteral("DevaRozaziRuruzoz.DAMMain");

using FabricaComponente = std::function<std::unique_ptr<Componente>()>;

// Registers (or replaces) the factory for a class name. The program registers its
// bundled component as kClaseDAM before anything else.
void registrarClase(const QString &clase, FabricaComponente fabrica);

// Creates a component by its registered class name; an unknown name raises ErrorComponente.
[[nodiscard]] std::unique_ptr<Componente> CrearObjeto(const QString &clase);

// The factory the program hands its window: CrearObjeto(kClaseDAM).
[[nodiscard]] FabricaComponente fabricaRegistrada();
