// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "codes/Codigos.h"
#include "data/Contrato.h"

#include <functional>
#include <optional>
#include <vector>

inline const QString NotFoundMarker = QStringLiteral("No encontrado");
inline const QString kPosicionNoEncontrada = QStringLiteral("Posicion Arancelaria No encontrada");
inline const QString kEntidadNcm = QStringLiteral("NCM");

// Shows a message to the user and returns when it has been closed.
using Avisador = std::function<void(const QString &mensaje)>;

// A value between single quotes, every quote doubled: whatever it holds stays inside
// its literal.
[[nodiscard]] QString literal(QString valor);

// No real position or unit holds a backslash, a control character or half of a
// UTF-16 surrogate pair: some servers read a backslash inside a literal as an escape,
// a driver may cut the text at a NUL, and half a pair reaches the server as some other
// character (a position whose cut splits an emoji). A value holding one never reaches
// a statement, alone or in a batch's.
[[nodiscard]] bool esVedado(const QString &valor);
[[nodiscard]] bool esVedada(const PositionKey &clave);

[[nodiscard]] QString textoConsulta(const QString &sNcm);
[[nodiscard]] QString textoUpdate(const QString &sNcm, const QString &sUnidEst);
// Puts back sAnterior (null when it has no value) only while the row still holds sActual.
[[nodiscard]] QString textoDeshacer(const QString &sNcm, const std::optional<QString> &sAnterior,
                                    const QString &sActual);

// Every row of the table: its three key values and its unit.
[[nodiscard]] QString textoClavesDeTabla();

struct UnidadLeida {
    bool encontrada = false;
    QVariant valor; // as stored: null, a text or a number
};

// The lookup under GetUnidEst, without messages and keeping null apart from "".
[[nodiscard]] UnidadLeida ConsultarUnidad(Componente &oDAM, const QString &sNcm);

// A stored unit as text: "" for null, a number's plain decimal digits, a text as it is.
[[nodiscard]] QString textoDeUnidad(const QVariant &valor);

// The official code a stored unit stands for: a number (a unit column of integers)
// is the code of its two digits, 7 standing for "07"; a text is the code itself.
[[nodiscard]] QString codigoDeUnidad(const QVariant &valor);

// The stored unit of the position as text ("" for null), or NotFoundMarker after
// telling the user that the position does not exist. A position whose key values
// hold a character esVedado refuses is answered so without any statement. *leida,
// when given, gets the value as read.
[[nodiscard]] QString GetUnidEst(Componente &oDAM, const QString &sNcm, const Avisador &avisar,
                                 UnidadLeida *leida = nullptr);

// True when the update changed at least one row; false, with no statement, when the
// key values or the unit hold a character esVedado refuses.
[[nodiscard]] bool EjecutarUpdate(Componente &oDAM, const QString &sNcm, const QString &sUnidEst);

// The same update, answering how many rows it changed (-1 when the component's
// answer is not a number; 0, with no statement, for such text).
[[nodiscard]] qlonglong ActualizarUnidad(Componente &oDAM, const QString &sNcm, const QString &sUnidEst);

// Runs textoDeshacer; the number of rows it changed, as above.
[[nodiscard]] qlonglong DeshacerUnidad(Componente &oDAM, const QString &sNcm, const std::optional<QString> &sAnterior,
                                       const QString &sActual);

struct FilaDeTabla {
    PositionKey clave;
    QVariant unidad; // as stored
};

// Every row of the table, in the order the database gives them; nothing when the
// component cannot give more than one row of a query (it lacks FilasDeConsulta).
[[nodiscard]] std::optional<std::vector<FilaDeTabla>> ListarClavesDeTabla(Componente &oDAM);
