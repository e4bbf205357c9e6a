// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QObject;

// While it lives, SIGINT, SIGTERM and SIGHUP (a session ending, a terminal closed,
// `timeout`) do not end the program where it stands: each is taken by the event loop
// once the work under way has returned to it, so that a change being stored is
// committed and journaled first. Then `alLlegar` runs with the signal's number.
class SenalesDeCierre {
public:
    SenalesDeCierre(QObject *contexto, void (*alLlegar)(int senal, void *datos), void *datos);
    ~SenalesDeCierre();
    SenalesDeCierre(const SenalesDeCierre &) = delete;
    SenalesDeCierre &operator=(const SenalesDeCierre &) = delete;

    // The first signal that came, or 0.
    [[nodiscard]] static int llegada();
};
