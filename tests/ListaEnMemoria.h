// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// An official list held in memory, for the window and the reconciliation: a few
// positions, and a list that fails to be read when asked to.

#include "lista/ListaOficial.h"

#include <algorithm>
#include <map>

class ListaEnMemoria final : public ListaOficial {
public:
    explicit ListaEnMemoria(std::vector<Partida> partidas, QDate fecha = QDate(2026, 6, 14))
    {
        for (Partida &p : partidas)
            partidas_.emplace(p.posicion, std::move(p));
        datos_.fecha = fecha;
        datos_.posiciones = qint64(partidas_.size());
    }

    // From then on, every lookup raises ErrorDeLista, as an index gone bad would.
    bool fallar = false;

    [[nodiscard]] const DatosDeLista &datos() const override { return datos_; }

    [[nodiscard]] std::optional<Partida> partida(const QString &posicion) const override
    {
        if (fallar)
            throw ErrorDeLista("El índice de la lista oficial está dañado (prueba).");
        const auto i = partidas_.find(posicion);
        return i == partidas_.end() ? std::nullopt : std::optional(i->second);
    }

    void recorrer(const std::function<void(const QString &, const QString &)> &f) const override
    {
        for (const auto &[posicion, p] : partidas_)
            f(posicion, p.unidad);
    }

    // The search is not the window's nor the reconciliation's to use.
    [[nodiscard]] std::vector<Partida> buscar(const QString &, int) const override
    {
        throw ErrorDeLista("buscar no se usa en estas pruebas");
    }
    [[nodiscard]] std::vector<Partida> bajo(const QString &, int) const override
    {
        throw ErrorDeLista("bajo no se usa en estas pruebas");
    }

private:
    std::map<QString, Partida> partidas_;
    DatosDeLista datos_;
};
