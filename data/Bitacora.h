// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// One stored change of a position's unit, as the change journal keeps it.
struct Cambio {
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
// the variable is unset, empty or not an absolute path.
[[nodiscard]] QString rutaBitacora();

// A change made now, by this user on this machine.
[[nodiscard]] Cambio nuevoCambio(QString base, QString posicion, QString anterior, QString nueva, QString origen);

// Appends the changes to the journal at ruta (creating its folder and file as
// needed), all under one lock and synced to disk before returning. Nothing on
// success; otherwise why the journal could not be written, in Spanish.
[[nodiscard]] std::optional<QString> anotarCambios(const QString &ruta, const QList<Cambio> &cambios);
[[nodiscard]] std::optional<QString> anotarCambio(const QString &ruta, const Cambio &cambio);

// What the user is told when a stored change could not be noted.
[[nodiscard]] QString mensajeFalloBitacora(const QString &ruta, const QString &motivo);

// Appends the changes to the user's journal (rutaBitacora()); nothing when written,
// else the warning to show (mensajeFalloBitacora).
[[nodiscard]] std::optional<QString> anotarEnBitacora(const QList<Cambio> &cambios);

// The journal's columns, as its header line names them.
[[nodiscard]] const QStringList &columnasBitacora();

// The changes in the journal, oldest first; only those of one position when it is
// given. A missing journal has none. Lines that cannot be read are left out and the
// first of them is named in *error; a journal that cannot be opened leaves only
// *error.
[[nodiscard]] QList<Cambio> leerBitacora(const QString &ruta, const QString &posicion = {}, QString *error = nullptr);

// One CSV line (without its line end), fields quoted as RFC 4180 asks.
[[nodiscard]] QString lineaCsv(const QStringList &campos);

// ISO 8601 to the second, always with a numeric offset: 2026-12-08T10:15:02-03:00.
[[nodiscard]] QString fechaBitacora(const QDateTime &fecha);
