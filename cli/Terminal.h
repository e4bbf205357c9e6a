// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the command line needs from its terminal: Ctrl+C turned into a flag, and a
// progress line for long batches.

#include "data/Contrato.h"

#include <QElapsedTimer>
#include <QString>
#include <QtGlobal>

#include <csignal>

// While it lives, SIGINT (Ctrl+C), SIGTERM and SIGHUP set a flag, which the work
// reads between rows or chunks, and, while the work allows it, stop the statement that
// is running; the previous handling comes back with its end. None of them ends the
// program by itself: from the commit until the journal is written they wait, and the
// work acts on them afterwards.
class Interrupcion {
public:
    Interrupcion();
    ~Interrupcion();
    Q_DISABLE_COPY(Interrupcion)

    [[nodiscard]] static bool pedida();
    // The first of those signals that came, or 0; still told after the end.
    [[nodiscard]] static int senal();
    // "Ctrl+C", "SIGTERM", "SIGHUP".
    [[nodiscard]] static QString nombreDeSenal(int senal);
    // How a statement is stopped, and whether Ctrl+C may stop one now.
    static void cancelarCon(FilasEnBloque::Cancelacion cancelacion);
    static void cancelarSentencia(bool si);
};

// Whether standard error is a terminal that a line can be rewritten on: not a file or
// a pipe, and TERM is set and is not "dumb" (Emacs's shell, say), which would print
// the escape sequences as they are.
[[nodiscard]] bool terminalConProgreso();

// "Revisadas 200 de 1000 filas; faltan unos 4 s", the time left estimated from the
// pace so far.
[[nodiscard]] QString lineaDeProgreso(const QString &participio, qsizetype hechas, qsizetype total,
                                      qint64 transcurridoMs);

// A line on standard error, rewritten in place, with how far a batch has come and
// an estimate of the time left. It appears only on a terminal (terminalConProgreso)
// and once the batch has run longer than a second, and is wiped when done.
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
