// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

#include <clocale>

// libpq and the C library translate their messages after LC_MESSAGES; while a
// connection opens they speak English, the language their causes are read in.
class MensajesDeLosDriversEnIngles {
public:
    MensajesDeLosDriversEnIngles()
    {
        const char *actual = std::setlocale(LC_MESSAGES, nullptr);
        previo_ = actual ? actual : "C";
        std::setlocale(LC_MESSAGES, "C");
    }
    ~MensajesDeLosDriversEnIngles() { std::setlocale(LC_MESSAGES, previo_.constData()); }
    MensajesDeLosDriversEnIngles(const MensajesDeLosDriversEnIngles &) = delete;
    MensajesDeLosDriversEnIngles &operator=(const MensajesDeLosDriversEnIngles &) = delete;

private:
    QByteArray previo_;
};
