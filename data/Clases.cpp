// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/Clases.h"

#include <map>

namespace {

std::map<QString, FabricaComponente> &clases()
{
    static std::map<QString, FabricaComponente> fabricas;
    return fabricas;
}

} // namespace

void registrarClase(const QString &clase, FabricaComponente fabrica) { clases()[clase] = std::move(fabrica); }

FabricaComponente fabricaRegistrada()
{
    return [] { return CrearObjeto(kClaseDAM); };
}

std::unique_ptr<Componente> CrearObjeto(const QString &clase)
{
    const auto it = clases().find(clase);
    if (it == clases().end())
        throw ErrorComponente(
            QStringLiteral("No se puede crear el componente \"%1\": la clase no está registrada.").arg(clase));
    return it->second();
}
