// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The command line's four commands, each in a file of its own, and what they share.
// Each returns its exit status (see Linea.h).

#include "data/Contrato.h"

#include <QString>

#include <memory>

int consultar(const QString &posicion);
int cambiar(const QString &posicion, const QString &unidadEscrita);
int lote(const QString &nombre, bool aplicar);
int historial(const QString &posicion);

inline const QString kNadaGuardado = QStringLiteral("No se guardó ningún cambio.");
// The start of every message on standard error; a message's later lines (the
// component's own text, say) go without it.
inline const QString kPrefijo = QStringLiteral("telquin: ");

// Whether the command that runs may store changes (cambiar, lote --aplicar): only then
// does a failure add that nothing was stored.
void marcarQuePuedeGuardar(bool puede);
// " No se guardó ningún cambio." after a command that may store; empty after one that
// only reads.
[[nodiscard]] QString nadaGuardado();

// A message on standard error, after what standard output holds.
void avisar(const QString &mensaje);
// A usage error: the message, the hint of --help, and status 2.
int errorDeUso(const QString &mensaje);
// A failure of the database, told as the window tells it, of the position when the
// command names one (none for a batch); status 3.
int falloDeBase(const ErrorComponente &error, const QString &posicion = {});

// The registered component, with its parameters loaded.
[[nodiscard]] std::unique_ptr<Componente> abrirComponente();

// Whether the command's changes are stored and noted in the journal, as a failed
// standard output then says.
void marcarGuardadosYAnotados(bool guardados);
[[nodiscard]] bool guardadosYAnotados();
