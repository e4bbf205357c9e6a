// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Standard output for the command line: every write checked, in UTF-8 whatever the
// locale, one record per line with tab-separated fields.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringEncoder>
#include <QStringView>

#include <initializer_list>

// Opens /dev/null on each standard descriptor (0 to 2) that is closed, so that no
// descriptor opened later, Qt's own included, takes its number. To be called before
// any Qt object exists. True when standard output was found closed: the command
// line's first write to it must then fail (DestinoDescriptor).
bool abrirDescriptoresEstandar();

// Where the command line's bytes go: a standard descriptor in the program, a buffer
// when a test runs the commands in-process.
class Destino {
public:
    Destino() = default;
    virtual ~Destino() = default;
    Destino(const Destino &) = delete;
    Destino &operator=(const Destino &) = delete;

    // 0, or the errno of the write that failed.
    [[nodiscard]] virtual int escribir(QByteArrayView bytes) = 0;
    // Whether a closed pipe ends the program where it stands, killed by SIGPIPE as cat
    // is (for a command that stores nothing), or is a write error like any other,
    // reported once the command has done its work (for one that stores).
    virtual void terminarEnTuberia(bool terminar) { (void)terminar; }
};

// A descriptor of the process. SIGPIPE must be ignored (the command line does so
// first thing), so that a closed pipe comes back as EPIPE.
class DestinoDescriptor : public Destino {
public:
    // cerrado: the descriptor was closed when the program started (it holds
    // /dev/null now), and every write to it fails.
    explicit DestinoDescriptor(int fd, bool cerrado = false) : fd_(fd), cerrado_(cerrado) { }
    [[nodiscard]] int escribir(QByteArrayView bytes) override;
    void terminarEnTuberia(bool terminar) override { terminar_ = terminar; }

private:
    int fd_;
    bool cerrado_;
    bool terminar_ = false;
};

// The bytes kept, for a test to read.
class DestinoEnMemoria : public Destino {
public:
    [[nodiscard]] int escribir(QByteArrayView bytes) override
    {
        texto.append(bytes);
        return 0;
    }
    QByteArray texto;
};

// The text with each control character (C0, DEL, C1) written as "?", and a tab, CR
// or LF as a blank: whatever a file or a database holds, it cannot move the cursor,
// recolour or retitle the user's terminal, nor break a line in two.
[[nodiscard]] QString sinControles(QStringView texto);

// Lines for standard output, held until volcar() or until they fill a large block.
class Salida {
public:
    explicit Salida(Destino &destino) : destino_(destino) { }
    Salida(const Salida &) = delete;
    Salida &operator=(const Salida &) = delete;

    void linea(std::initializer_list<QStringView> campos);
    void numero(qlonglong n);
    // Whatever a field holds, it stays one field of one line.
    void campo(QStringView texto);
    void finDeLinea();
    // Text as it is, such as the help.
    void texto(QStringView texto);
    // Writes what is held; false when this or an earlier write failed.
    bool volcar();
    // The errno of the first write that failed, or 0. After one has failed, nothing
    // more is written.
    [[nodiscard]] int error() const { return error_; }
    [[nodiscard]] Destino &destino() { return destino_; }

private:
    void separar();
    void codificar(QStringView texto);

    Destino &destino_;
    QStringEncoder codificador_{QStringEncoder::Utf8};
    QByteArray texto_;
    bool primero_ = true;
    int error_ = 0;
};
