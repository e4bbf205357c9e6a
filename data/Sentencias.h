#pragma once

#include "Contrato.h"

#include <functional>

inline const QString NotFoundMarker = QStringLiteral("No encontrado");
inline const QString kEntidadNcm = QStringLiteral("NCM");

// Shows a message to the user and returns when it has been closed.
using Avisador = std::function<void(const QString &mensaje)>;

[[nodiscard]] QString textoConsulta(const QString &sNcm);
[[nodiscard]] QString textoUpdate(const QString &sNcm, const QString &sUnidEst);

// The stored unit of the position as text ("" for null), or NotFoundMarker after
// telling the user that the position does not exist. A position holding a backslash
// is answered so without any statement.
[[nodiscard]] QString GetUnidEst(Componente &oDAM, const QString &sNcm, const Avisador &avisar);

// True when the update changed at least one row; false, with no statement, when the
// position or the unit holds a backslash.
[[nodiscard]] bool EjecutarUpdate(Componente &oDAM, const QString &sNcm, const QString &sUnidEst);
