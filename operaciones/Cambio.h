// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// One change as both front ends make it: the update, then its line in the user's
// journal, then the result they turn into a box or a line. Nothing the user's screen
// or terminal does can come between a stored change and its journal line.

#include "archivos/Bitacora.h"
#include "data/Contrato.h"
#include "data/Sentencias.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>

struct ResultadoCambio {
    // Rows the update changed; 0 or less when nothing was stored (-1: the component
    // answered with no number).
    qlonglong filas = 0;
    // Stored but not noted: the warning to show.
    std::optional<QString> avisoBitacora;
    // What the lookup before the update read.
    UnidadLeida leida;
    // Whether the update was sent at all.
    bool enviado = false;
    // Stopped on request before the commit: nothing stored.
    bool interrumpido = false;

    [[nodiscard]] bool guardado() const { return filas > 0; }
};

// How a change learns that it must stop, and tells when a request to stop may also
// stop the statement that is running: never once the commit is on its way.
struct Parada {
    std::function<bool()> pedida = [] { return false; };
    std::function<void(bool)> cancelable = [](bool) {};
};

// F9 and `cambiar`: looks the position up, and when `seguir` accepts what was read,
// stores `nueva` and notes the change with its origin (ventana, linea) and the unit
// the update replaced. Where the component offers transactions both statements run in
// one, at Aislamiento::Repetible, so that another user's change between them makes
// the update fail (ErrorOcupado) rather than be overwritten unseen. An
// ErrorDesenlaceIncierto from the commit is passed on, with nothing noted.
[[nodiscard]] ResultadoCambio consultarYGuardar(Componente &oDAM, const QString &posicion, const QString &nueva,
                                                const QString &origen,
                                                const std::function<bool(const UnidadLeida &)> &seguir,
                                                const Parada &parada = {});

// Stores `nueva` for the position and notes the change (`anterior` as it was read,
// "" for no value) with its origin: ventana, linea, deshacer, lote.
[[nodiscard]] ResultadoCambio guardarCambio(Componente &oDAM, const QString &posicion, const QString &anterior,
                                            const QString &nueva, const QString &origen);

// Puts `anterior` back (no value when it had none) only while the row still holds
// `actual`, and notes it as "deshacer"; in a transaction where the component offers
// them, so that a commit whose answer was lost is asked about, not sent again.
[[nodiscard]] ResultadoCambio deshacerCambio(Componente &oDAM, const QString &posicion,
                                             const std::optional<QString> &anterior, const QString &actual);

// The rows an update changed, as the component answered; when it could not count
// them (-1), inside the same transaction the row read back tells whether it now
// holds `unidad` (no value for null): 1 or 0.
[[nodiscard]] qlonglong filasCambiadas(Componente &oDAM, qlonglong filas, const QString &posicion,
                                       const std::optional<QString> &unidad);

// Appends the changes to the user's journal; nothing when written, else the warning
// to show.
[[nodiscard]] std::optional<QString> anotarEnBitacora(const QList<Anotacion> &anotaciones);
