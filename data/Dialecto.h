#pragma once

#include <QString>

#include <functional>

// True when the text holds more than one statement: anything but blanks, comments
// and semicolons after the first ";" that stands outside literals and comments.
[[nodiscard]] bool tieneVariasSentencias(const QString &sql);

// Rewrites each [name] outside string literals, quoted identifiers and comments as
// citar(name); everything else is copied as it is.
[[nodiscard]] QString reescribirCorchetes(const QString &sql,
                                          const std::function<QString(const QString &)> &citar);
