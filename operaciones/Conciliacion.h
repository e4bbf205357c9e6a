// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The table compared with the official list: which rows' units are not the list's,
// which rows the list lacks, which positions of the list the table lacks. It only
// reads; bringing the table in line is a batch, which goes through the usual check.

#include "data/Contrato.h"
#include "operaciones/Lote.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <vector>

class ListaOficial;

enum class Diferencia { UnidadDistinta, NoFiguraEnLaLista, FaltaEnLaTabla };
inline constexpr std::array kDiferencias
    = {Diferencia::UnidadDistinta, Diferencia::NoFiguraEnLaLista, Diferencia::FaltaEnLaTabla};

// "unidad distinta", "no figura en la lista", "falta en la tabla".
[[nodiscard]] const QString &nombreDeDiferencia(Diferencia d);

struct LineaDeConciliacion {
    Diferencia diferencia;
    QString posicion;
    QString tabla; // the row's unit as text ("" for null, or for no row)
    QString oficial; // the list's unit ("" when the list lacks the position)
};

struct ResultadoConciliacion {
    std::vector<LineaDeConciliacion> lineas; // sorted by position
    std::array<qsizetype, kDiferencias.size()> cuentas{};
    // Whether the table's rows were listed, so that those the list lacks were looked
    // for: a component that gives one row of a query at a time cannot.
    bool tablaListada = false;
    bool interrumpida = false; // stopped on request before the end: no lines then

    [[nodiscard]] bool coinciden() const { return lineas.empty(); }
};

struct OpcionesDeConciliacion {
    // One lookup per position even where the component takes whole chunks: the road
    // of a component without FilasEnBloque, kept callable to measure it.
    bool porFila = false;
    qsizetype filasPorTrozo = kFilasPorTrozo;
};

// Looks up the list's positions a chunk at a time (one by one without FilasEnBloque),
// then lists the table's rows with one query (textoClavesDeTabla). Units are compared
// as codes (codigoDeUnidad: 7 in a column of integers is "07"); a position whose
// official unit is blank has no unit to differ from. Of a key that several rows
// share, the first row read counts, as for one lookup. Component errors are raised.
[[nodiscard]] ResultadoConciliacion conciliar(Componente &oDAM, const ListaOficial &lista,
                                              const OpcionesDeConciliacion &opciones = {},
                                              const Seguimiento &seguimiento = {});

// The `unidad distinta` lines as a batch file that `lote` reads as it is: the header
// "posicion;unidad", then each position with its official unit, UTF-8, LF.
[[nodiscard]] QByteArray loteDeConciliacion(const ResultadoConciliacion &r);
