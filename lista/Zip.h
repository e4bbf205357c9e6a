// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The list as published: a zip (arancel.zip) that holds its text beside the other
// files of the same list.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Whether the bytes are a zip (its local or its empty-archive signature).
[[nodiscard]] bool esZip(QByteArrayView datos);

struct MiembroDeZip {
    QString nombre;
    QByteArray datos;
};

// The one member named nomenclador*.txt (any case, in any folder of the zip).
// ErrorDeLista, in Spanish, when there is none or more than one (naming the members),
// when it holds more than `limite` bytes, or when the zip cannot be read.
[[nodiscard]] MiembroDeZip miembroDeLaLista(QByteArrayView zip, qint64 limite);
