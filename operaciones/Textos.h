// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The texts the window and the command line both show, written once.

#include "data/Contrato.h"

#include <QString>

inline const QString kFormatoIncorrecto = QStringLiteral("Formato de PA incorrecto (Ej. 8901.10.00.000L)");
inline const QString kVerifiqueLosDatos = QStringLiteral("Verifique los datos antes de guardar");

// After an update that changed no row: "Error Actualizando la Ncm P" and, with
// nothing between them, "los cambios no han sido realizados.".
[[nodiscard]] QString errorActualizando(const QString &posicion);

// What the user is told of a passing condition, in two sentences: what happened to
// the position, and what to do now. Without a position (a batch), the same of the
// batch's changes.
struct AvisoDeCondicion {
    QString queOcurrio;
    QString queHacer;
};
[[nodiscard]] AvisoDeCondicion avisoDeCondicion(CondicionPasajera condicion, const QString &posicion);

// What the user is told when a stored change could not be noted in the journal.
[[nodiscard]] QString mensajeFalloBitacora(const QString &ruta, const QString &motivo);
