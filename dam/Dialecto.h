// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringView>

// How a server writes an identifier, asked for each [name] of a statement. What it
// returns must stay valid until it is asked again.
class Citador {
public:
    virtual ~Citador() = default;
    [[nodiscard]] virtual QStringView citar(QStringView nombre) = 0;
};

struct SentenciaAdaptada {
    QString texto; // with the [names] rewritten; empty when no citador was given
    bool varias = false;
};

// In one pass over the text: whether it holds more than one statement (anything but
// blanks, comments and semicolons after the first ";" outside literals and comments),
// and, with a citador, the text with each [name] outside string literals, quoted
// identifiers and comments rewritten as citar(name).
[[nodiscard]] SentenciaAdaptada adaptarSentencia(const QString &sql, Citador *citar);
