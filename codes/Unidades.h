// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <cstddef>
#include <optional>

// The official statistical units, from unidades-estadisticas.csv, which the build
// turns into the table below.
struct UnidadEstadistica {
    const char *codigo; // two ASCII digits
    const char *nombre; // UTF-8, as written in the CSV
};
extern const UnidadEstadistica kUnidadesEstadisticas[]; // sorted by code
extern const std::size_t kCantidadUnidadesEstadisticas;

// The name of an official code, as written ("07" gives "UNIDAD"); nothing for any
// other text, "7" included: callers format what the user typed first.
[[nodiscard]] std::optional<QString> nombreDeUnidad(const QString &sCodigo);

// What to show beside a code: its name, "código no oficial" for a code outside the
// table, nothing for no code.
[[nodiscard]] QString descripcionDeUnidad(const QString &sCodigo);

// Every official code, in order.
[[nodiscard]] QStringList codigosDeUnidad();
