// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// What keeps a password out of every text the program shows: the ways it may be
// spelled, and texts with them hidden. Addresses show "***" in its place.
class Secretos {
public:
    static const QString kOculta;

    // The password as the address wrote it and as the driver reads it: both, and its
    // percent-encoded spelling, are hidden from then on.
    void ocultar(const QString &cruda, const QString &clave);

    // The text with every spelling replaced by "***". A password shorter than four
    // characters would blank ordinary words; a text that still holds one is dropped
    // whole.
    [[nodiscard]] QString sinClaves(QString texto) const;

    [[nodiscard]] const QStringList &claves() const { return claves_; }

private:
    QStringList claves_;
};
