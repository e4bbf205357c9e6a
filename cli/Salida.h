// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Standard output for the command line: every write checked, in UTF-8 whatever the
// locale, one record per line with tab-separated fields.

#include <QByteArray>
#include <QString>
#include <QStringEncoder>
#include <QStringView>

#include <initializer_list>

// Opens /dev/null on each standard descriptor (0 to 2) that is closed, so that no
// descriptor opened later, Qt's own included, takes its number. To be called before
// any Qt object exists. A standard output found closed is remembered: the first
// write to it fails.
void abrirDescriptoresEstandar();

// Whether a closed pipe on standard output ends the program where it stands, killed
// by SIGPIPE as cat is (for a command that stores nothing), or is a write error like
// any other, reported once the command has done its work (for one that stores).
// SIGPIPE itself is ignored from here on.
void terminarEnTuberiaCerrada(bool terminar);

// The errno of the first write to standard output that failed, or 0. After one has
// failed, nothing more is written.
[[nodiscard]] int errorDeSalida();

// The text with each control character (C0, DEL, C1) written as "?", and a tab, CR
// or LF as a blank: whatever a file or a database holds, it cannot move the cursor,
// recolour or retitle the user's terminal, nor break a line in two.
[[nodiscard]] QString sinControles(QStringView texto);

// Lines for standard output, held until volcar() or until they fill a large block.
class Salida {
public:
    void linea(std::initializer_list<QStringView> campos);
    void numero(qlonglong n);
    // Whatever a field holds, it stays one field of one line.
    void campo(QStringView texto);
    void finDeLinea();
    // Text as it is, such as the help.
    void texto(QStringView texto);
    // Writes what is held; false when this or an earlier write failed.
    bool volcar();

private:
    void separar();
    void codificar(QStringView texto);

    QStringEncoder codificador_{QStringEncoder::Utf8};
    QByteArray texto_;
    bool primero_ = true;
};

// The command line's one standard output.
[[nodiscard]] Salida &salida();
