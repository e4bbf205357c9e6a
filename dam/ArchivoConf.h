// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <optional>

struct ValorLeido {
    QString texto;
    int linea = 0;
};

struct ArchivoDeParametros {
    std::optional<ValorLeido> url;
    std::optional<ValorLeido> espera;
};

// Reads section [database] of a dam.conf, as it is written. QSettings would cut a value at a ";"
// and split it at a ",", which connection strings are full of, and would skip what it
// does not understand. Nothing when there is no file at ruta. Opened as the journal
// is, so that a FIFO or a device there is an error rather than a wait without end.
// ErrorDeConfiguracion names the file and the line of what cannot be read.
[[nodiscard]] std::optional<ArchivoDeParametros> leerConf(const QString &ruta);
