// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

#include <optional>
#include <vector>

// A statement whose text values compared in its WHERE clause are parameters: the
// lookup of one position and the next differ only in those values, so one prepared
// statement serves them all.
struct FormaDeSentencia {
    QByteArray texto; // with "?" where each value was
    std::vector<QByteArray> valores; // in order, their quotes taken off
};

// The form of a SELECT, UPDATE or DELETE (UTF-8) whose WHERE clause compares with text
// literals ("[012] = '07'"); none for any other statement, one that holds a parameter
// already, or one where no literal is compared after the WHERE. Literals anywhere else
// (a SET, a select list, a comment, a quoted name, a blob) are left as they are.
[[nodiscard]] std::optional<FormaDeSentencia> formaConParametros(const QByteArray &sql);
