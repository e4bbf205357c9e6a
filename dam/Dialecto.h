// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <functional>

using Citador = std::function<QString(const QString &name)>;

struct SentenciaAdaptada {
    QString texto; // with the [names] rewritten; empty when no citador was given
    bool varias = false;
};

// Both of the below in one pass over the text.
[[nodiscard]] SentenciaAdaptada adaptarSentencia(const QString &sql, const Citador *citar);

// True when the text holds more than one statement: anything but blanks, comments
// and semicolons after the first ";" that stands outside literals and comments.
[[nodiscard]] bool tieneVariasSentencias(const QString &sql);

// Rewrites each [name] outside string literals, quoted identifiers and comments as
// citar(name); everything else is copied as it is.
[[nodiscard]] QString reescribirCorchetes(const QString &sql, const Citador &citar);
