// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <optional>

// The three key values of a tariff position: characters 1-10, 12-14 and 15.
struct PositionKey {
    QString primero;
    QString segundo;
    QString tercero;
};

// Only the ASCII digits "0" to "9" count as digits.
[[nodiscard]] bool esDigito(QChar c);

// Blanks, an optional sign, digits with at most one decimal separator ("." or ","),
// blanks. At least one digit.
[[nodiscard]] bool esNumerico(const QString &s);

// Length 15, dots at 5, 8 and 11, and a last character that is not a digit.
[[nodiscard]] bool esPosicionValida(const QString &sNcm);

// The check letter the digits of a position give ("8901.10.00.000" gives 'L'); only
// for text whose first 14 characters are DDDD.DD.DD.DDD with ASCII digits. The rule
// was fitted on published positions, not taken from a published source.
[[nodiscard]] std::optional<QChar> letraDeControl(const QString &sNcm);

// A hint, never a refusal: "La letra de control debería ser L" when the text has 15
// characters and its last one is not the letter its digits give (lower case counts
// as different); empty otherwise.
[[nodiscard]] QString pistaLetraDeControl(const QString &sNcm);

// Cuts any text, valid or not; missing characters give shorter or empty values.
[[nodiscard]] PositionKey cortarPosicion(const QString &sNcm);

// Formats a numeric text with the pattern "00"; other text comes back unchanged.
[[nodiscard]] QString formatearUnidad(const QString &sUnidEst);

// Exactly two characters, numeric.
[[nodiscard]] bool esUnidadValida(const QString &sUnidEst);
