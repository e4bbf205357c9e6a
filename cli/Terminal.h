// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the command line needs from its terminal: Ctrl+C turned into a flag, and a
// progress line for long batches.

#include "cli/Salida.h"
#include "data/Contrato.h"

#include <QElapsedTimer>
#include <QString>
#include <QtGlobal>

#include <csignal>

// What stops a command that runs: the signals in the program (Interrupcion), a flag
// of the test's own when the commands run in-process.
class Interrupciones {
public:
    Interrupciones() = default;
    virtual ~Interrupciones() = default;
    Interrupciones(const Interrupciones &) = delete;
    Interrupciones &operator=(const Interrupciones &) = delete;

    [[nodiscard]] virtual bool pedida() const = 0;
    // The first signal that came, or 0.
    [[nodiscard]] virtual int senal() const = 0;
    // How a statement is stopped, and whether a signal may stop one now.
    virtual void cancelarCon(FilasEnBloque::Cancelacion cancelacion) = 0;
    virtual void cancelarSentencia(bool si) = 0;
};

// While it lives, SIGINT (Ctrl+C), SIGTERM and SIGHUP set a flag, which the work
// reads between rows or chunks, and, while the work allows it, stop the statement that
// is running; the previous handling comes back with its end. None of them ends the
// program by itself: from the commit until the journal is written they wait, and the
// work acts on them afterwards. The flag is the process's own, as a signal handler
// can reach nothing else.
class Interrupcion : public Interrupciones {
public:
    Interrupcion();
    ~Interrupcion() override;

    [[nodiscard]] bool pedida() const override;
    [[nodiscard]] int senal() const override;
    void cancelarCon(FilasEnBloque::Cancelacion cancelacion) override;
    void cancelarSentencia(bool si) override;
    // "Ctrl+C", "SIGTERM", "SIGHUP".
    [[nodiscard]] static QString nombreDeSenal(int senal);
};

// Whether standard error is a terminal that a line can be rewritten on: not a file or
// a pipe, and TERM is set and is not "dumb" (Emacs's shell, say), which would print
// the escape sequences as they are.
[[nodiscard]] bool terminalConProgreso();

// "Revisadas 200 de 1000 filas; faltan unos 4 s", the time left estimated from the
// pace so far.
[[nodiscard]] QString lineaDeProgreso(const QString &participio, qsizetype hechas, qsizetype total,
                                      qint64 transcurridoMs, const QString &que = QStringLiteral("filas"));

// A line on standard error, rewritten in place, with how far a batch has come and
// an estimate of the time left. It appears only on a terminal (terminalConProgreso)
// and once the batch has run longer than a second, and is wiped when done.
class Progreso {
public:
    // errores: standard error, where the line is drawn.
    Progreso(bool activo, Destino &errores);
    ~Progreso();
    Progreso(const Progreso &) = delete;
    Progreso &operator=(const Progreso &) = delete;

    // A new stage ("Revisadas", "Guardadas") of `total` things ("filas", "líneas"):
    // the estimate starts again.
    void etapa(const QString &participio, qsizetype total, const QString &que = QStringLiteral("filas"));
    void avanzar(qsizetype hechas);
    void borrar();

private:
    void dibujar(const QString &linea);

    bool activo_;
    Destino &errores_;
    QElapsedTimer reloj_;
    QString participio_;
    QString que_;
    qsizetype total_ = 0;
    qint64 inicioEtapa_ = 0;
    qint64 dibujado_ = -1;
    bool visible_ = false;
};
