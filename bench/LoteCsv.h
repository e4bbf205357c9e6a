// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The batch file as the raw batch programs read it: position and unit on each line,
// the separator ',' or, when the first line holds one, ';'; the header line and empty
// lines left out. The files are the bench's own (bench/lote_preparar.cpp), so no
// quoting.

#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

struct FilaDeLote {
    std::string posicion;
    std::string unidad;
};

[[nodiscard]] inline std::vector<FilaDeLote> leerLoteCsv(const std::string &ruta)
{
    std::ifstream archivo(ruta, std::ios::binary);
    if (!archivo)
        throw std::runtime_error("no se puede leer " + ruta);
    std::vector<FilaDeLote> filas;
    std::string linea;
    bool primera = true;
    char separador = ',';
    while (std::getline(archivo, linea)) {
        if (!linea.empty() && linea.back() == '\r')
            linea.pop_back();
        if (primera && linea.find(';') != std::string::npos)
            separador = ';';
        const auto corte = linea.find(separador);
        FilaDeLote f{linea.substr(0, corte), corte == std::string::npos ? std::string() : linea.substr(corte + 1)};
        if (!(primera && f.posicion == "posicion") && !linea.empty())
            filas.push_back(std::move(f));
        primera = false;
    }
    return filas;
}
