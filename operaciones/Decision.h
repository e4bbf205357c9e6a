// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// How a batch's rows come to their outcomes, shared by the check and by --aplicar.

#include "codes/Codigos.h"
#include "data/Sentencias.h"
#include "operaciones/Lote.h"

#include <QHash>

#include <array>

// A view as a QString, without copying it: for calls that take one and keep no copy
// past the life of the text it shows.
[[nodiscard]] inline QString crudo(QStringView v) { return QString::fromRawData(v.data(), v.size()); }

// Each unit text once: a row or a position holds its index.
class Unidades {
public:
    explicit Unidades(QStringList &textos) : textos_(textos) { dosCifras_.fill(-1); }

    // The unit as written in the file, normalised as F9 would store it.
    qint32 escrita(QStringView texto)
    {
        // Two digits are their own stored form, and nearly every row of a batch.
        if (texto.size() == 2 && esDigito(texto[0]) && esDigito(texto[1])) {
            qint32 &indice = dosCifras_[std::size_t(texto[0].unicode() - u'0') * 10 + (texto[1].unicode() - u'0')];
            if (indice < 0)
                indice = de(texto.toString());
            return indice;
        }
        return de(formatearUnidad(texto.toString()));
    }

    qint32 leida(const QVariant &valor) { return de(textoDeUnidad(valor)); }

private:
    qint32 de(const QString &texto)
    {
        const auto entrada = indices_.constFind(texto);
        if (entrada != indices_.constEnd())
            return *entrada;
        const qint32 indice = qint32(textos_.size());
        indices_.insert(texto, indice);
        textos_ << texto;
        return indice;
    }

    QStringList &textos_;
    QHash<QString, qint32> indices_;
    std::array<qint32, 100> dosCifras_;
};

// Each row's unit and position, each well written position once, in the order of the
// rows that first name it; the results still to be decided.
void clasificar(const FilasLote &filas, Revisiones &r, Unidades &unidades);
// The text of a position of the batch.
[[nodiscard]] QStringView textoDe(const Revisiones &r, qint32 posicion);
// The positions in the order their rows are locked: by key, so that two batches never
// wait on each other in turn.
[[nodiscard]] std::vector<qint32> ordenarPorClave(const Revisiones &r);
// Each row's result from what the lookups read, in file order.
void decidir(Revisiones &r);
[[nodiscard]] qsizetype contarErrores(const Revisiones &r);
