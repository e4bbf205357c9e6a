// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the command line tells of itself, made from the commands' declarations:
// --help, and the words the bash completion offers.

#include "cli/Ordenes.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <vector>

// An option of the program itself, valid with any command or none.
struct OpcionGeneral {
    QStringList nombres; // without dashes: {"h", "help"}
    QString ayuda;
};

[[nodiscard]] const std::vector<OpcionGeneral> &opcionesGenerales();

// An exit status as --help explains it; the first code opens the entry, the others
// (the signals' statuses) are named in its text.
struct EstadoDeSalida {
    QList<int> codigos;
    QString texto; // lines of 70 characters at most
};

[[nodiscard]] const std::vector<EstadoDeSalida> &estadosDeSalida();

// "--max N", "--aplicar"
[[nodiscard]] QString nombreConValor(const OpcionDeOrden &opcion);

// "-h, --help"
[[nodiscard]] QString nombresDeOpcion(const QStringList &nombres);

// What `telquin --help` writes: the commands, the options and the exit statuses.
[[nodiscard]] QString ayuda(const std::vector<Orden> &ordenes);

// "consultar, cambiar, lote o historial"
[[nodiscard]] QString enumeracion(const QStringList &palabras);

// For the bash completion, one line each: "opciones" and the program's options;
// "orden", a command (its name, and its word when it has one) and its options;
// "archivo", a command and the number (from 1, after its word) of an argument that
// names a file; "valor", an option that takes a value, and "archivo" when a file.
[[nodiscard]] QString palabrasDeCompletado(const std::vector<Orden> &ordenes);
