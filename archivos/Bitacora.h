// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// One line of the change journal: a stored change of a position's unit.
struct Anotacion {
    QDateTime fecha;
    QString usuario;
    QString equipo;
    QString base;
    QString posicion;
    QString anterior;
    QString nueva;
    QString origen; // ventana, deshacer, linea, lote
};

// $XDG_STATE_HOME/telquin/cambios.csv, or ~/.local/state/telquin/cambios.csv when
// the variable is unset, empty or not an absolute path (see carpetaXdg).
[[nodiscard]] QString rutaBitacora();

// A change made now, by this user on this machine.
[[nodiscard]] Anotacion nuevaAnotacion(QString base, QString posicion, QString anterior, QString nueva, QString origen);

// Appends the changes to the journal at ruta (creating its folder and file as
// needed), all under one lock and synced to disk before returning. Only the user's
// own regular file is used: a symbolic link, a FIFO, a device or another user's file
// at ruta is a failure, and so is a lock that another program keeps past 2 seconds.
// A field's CR and LF are written as blanks, and a last line left without its end
// gets one first, so that every change is one line of its own. Nothing on success;
// otherwise why the journal could not be written, in Spanish.
[[nodiscard]] std::optional<QString> anotarEn(const QString &ruta, const QList<Anotacion> &cambios);

// The journal's columns, as its header line names them.
[[nodiscard]] const QStringList &columnasBitacora();

// Called with each change read; false stops the reading.
using AlAnotacion = std::function<bool(const Anotacion &)>;
// Called with each line that does not read as a change: its number, counting from
// 1, and why ("la línea N ...").
using AlLineaIlegible = std::function<void(int linea, const QString &motivo)>;

// Reads the journal one line at a time, oldest first, handing on each change (only
// those of one position when it is given) and each line it cannot read; it goes on
// after such a line. A line longer than 1 MiB is such a line, and no more than 1 MiB
// of it is ever held. Holds the journal's lock only to learn its size, and never the
// whole journal in memory. A missing journal has no changes. Nothing, or why the
// journal could not be opened or read (on the same terms as anotarEn).
[[nodiscard]] std::optional<QString> recorrerBitacora(const QString &ruta, const QString &posicion,
                                                      const AlAnotacion &alAnotacion,
                                                      const AlLineaIlegible &alLineaIlegible);

// ISO 8601 to the second, always with a numeric offset: 2026-12-08T10:15:02-03:00.
[[nodiscard]] QString fechaBitacora(const QDateTime &fecha);
