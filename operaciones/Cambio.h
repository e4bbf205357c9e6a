// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// One change as both front ends make it: the update, then its line in the user's
// journal, then the result they turn into a box or a line. Nothing the user's screen
// or terminal does can come between a stored change and its journal line.

#include "archivos/Bitacora.h"
#include "data/Contrato.h"

#include <QList>
#include <QString>

#include <optional>

struct ResultadoCambio {
    // Rows the update changed; 0 or less when nothing was stored (-1: the component
    // answered with no number).
    qlonglong filas = 0;
    // Stored but not noted: the warning to show.
    std::optional<QString> avisoBitacora;

    [[nodiscard]] bool guardado() const { return filas > 0; }
};

// Stores `nueva` for the position and notes the change (`anterior` as it was read,
// "" for no value) with its origin: ventana, linea, deshacer, lote.
[[nodiscard]] ResultadoCambio guardarCambio(Componente &oDAM, const QString &posicion, const QString &anterior,
                                            const QString &nueva, const QString &origen);

// Puts `anterior` back (no value when it had none) only while the row still holds
// `actual`, and notes it as "deshacer".
[[nodiscard]] ResultadoCambio deshacerCambio(Componente &oDAM, const QString &posicion,
                                             const std::optional<QString> &anterior, const QString &actual);

// Appends the changes to the user's journal; nothing when written, else the warning
// to show.
[[nodiscard]] std::optional<QString> anotarEnBitacora(const QList<Anotacion> &anotaciones);
