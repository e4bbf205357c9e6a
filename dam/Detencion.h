// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <chrono>
#include <csignal>

// What a signal handler reaches to stop the work: on SQLite the wait for a busy file
// as well as the running statement, on PostgreSQL the running statement of whatever
// connection is open now.
struct Detencion {
    volatile std::sig_atomic_t pedida = 0;
    std::chrono::steady_clock::time_point desde;
    std::chrono::milliseconds espera{0};
    void *sqlite = nullptr; // sqlite3*
    std::atomic<void *> pgCancel{nullptr}; // PGcancel* of the current connection
};

// A busy handler for SQLite (sqlite3_busy_handler), its argument a Detencion: SQLite's
// own busy timeout sleeps through a request to stop; this one looks at it between
// short sleeps, which a signal also cuts short.
int esperarArchivoOcupado(void *detencion, int veces);
