// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the command line needs from its terminal: Ctrl+C turned into a flag, and a
// progress line for long batches.

#include <QElapsedTimer>
#include <QString>
#include <QtGlobal>

#include <csignal>

// While it lives, Ctrl+C (SIGINT) only sets a flag, which the work reads between
// rows; the previous handling comes back with its end.
class Interrupcion {
public:
    Interrupcion();
    ~Interrupcion();
    Q_DISABLE_COPY(Interrupcion)

    [[nodiscard]] static bool pedida();
};

// A line on standard error, rewritten in place, with how far a batch has come and
// an estimate of the time left. It appears only when standard error is a terminal
// and the batch has run longer than a second, and is wiped when done.
class Progreso {
public:
    Progreso();
    explicit Progreso(bool activo);
    ~Progreso();
    Progreso(const Progreso &) = delete;
    Progreso &operator=(const Progreso &) = delete;

    // A new stage ("Revisadas", "Guardadas"): the estimate starts again.
    void etapa(const QString &participio, qsizetype total);
    void avanzar(qsizetype hechas);
    void borrar();

private:
    void dibujar(const QString &linea);

    bool activo_;
    QElapsedTimer reloj_;
    QString participio_;
    qsizetype total_ = 0;
    qint64 inicioEtapa_ = 0;
    qint64 dibujado_ = -1;
    bool visible_ = false;
};
