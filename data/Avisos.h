// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <functional>

// Warnings of a component that do not stop its work: a dam.conf that others can read,
// a session setting the server refused. Each text is told once a run; the front end
// chooses where (a box, standard error). Before it chooses, standard error.
using ReceptorDeAvisos = std::function<void(const QString &aviso)>;

void recibirAvisos(ReceptorDeAvisos receptor);
void avisarDelComponente(const QString &aviso);
