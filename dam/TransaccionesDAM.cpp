// SPDX-License-Identifier: GPL-3.0-or-later
// The component's transactions, and what became of a commit whose answer was lost.
#include "dam/BaseDAM.h"

#include <QThread>

#include <chrono>

using namespace dam;

namespace {

const QString kConfirmar = QStringLiteral("confirmar la transacción");

// The server's own number for the open transaction, which it can still be asked
// about after the connection is lost (PostgreSQL keeps the outcome of recent ones).
std::optional<qlonglong> numeroDeTransaccion(ComponenteDAM::Base &base)
{
    Conector &con = base.con();
    if (!con.guardaDesenlaces())
        return std::nullopt;
    if (const std::optional<qlonglong> numero = con.numeroDeTransaccion())
        return numero;
    const Respuesta r = con.ejecutar(QStringLiteral("SELECT txid_current()"), 1);
    if (r.fallo || r.filas.empty())
        fallar(base, r.fallo ? conPerdida(*r.fallo, false) : Fallo{}, kEntidadTransaccion, kConfirmar);
    bool numero = false;
    const qlonglong txid = r.filas.front().front().toLongLong(&numero);
    return numero ? std::optional(txid) : std::nullopt;
}

enum class Desenlace { Confirmada, Revertida, Incierto };

// What became of a transaction whose commit lost its answer, asked on a new
// connection. A transaction still "in progress" is one whose session the server has
// not yet seen end; it is asked again for a while.
Desenlace desenlaceDe(ComponenteDAM::Base &base, std::optional<qlonglong> txid)
{
    Conector &con = base.con();
    if (!txid || con.reabrir())
        return Desenlace::Incierto;
    const auto limite = std::chrono::steady_clock::now() + std::chrono::seconds(std::max(base.espera, 5));
    for (;;) {
        const Respuesta r = con.ejecutar(QStringLiteral("SELECT txid_status(%1)").arg(*txid), 1);
        if (r.fallo || r.filas.empty() || r.filas.front().front().isNull())
            return Desenlace::Incierto;
        const QString estado = r.filas.front().front().toString();
        if (estado == QLatin1String("committed"))
            return Desenlace::Confirmada;
        if (estado == QLatin1String("aborted"))
            return Desenlace::Revertida;
        if (std::chrono::steady_clock::now() >= limite || con.detenida())
            return Desenlace::Incierto;
        QThread::msleep(100);
    }
}

} // namespace

void ComponenteDAM::comenzarTransaccion(Aislamiento aislamiento)
{
    exigirParametros();
    if (base_->enTransaccion)
        throw ErrorComponente(QStringLiteral("Ya hay una transacción abierta."));
    if (const auto fallo = base_->con().comenzar(aislamiento))
        fallar(*base_, *fallo, kEntidadTransaccion, QStringLiteral("comenzar la transacción"));
    base_->enTransaccion = true;
}

void ComponenteDAM::confirmarTransaccion()
{
    if (!base_ || !base_->enTransaccion)
        throw ErrorComponente(QStringLiteral("No hay ninguna transacción abierta que confirmar."));
    Base &base = *base_;
    Conector &con = base.con();
    const std::optional<qlonglong> txid = numeroDeTransaccion(base);
    const std::optional<Fallo> fallo = con.confirmar();
    if (!fallo) {
        base.enTransaccion = false;
        return;
    }
    // A commit whose connection still answers failed as known: it stored nothing.
    if (!fallo->perdida && !con.conexionPerdida())
        fallar(base, *fallo, kEntidadTransaccion, kConfirmar);
    base.enTransaccion = false;
    switch (desenlaceDe(base, txid)) {
    case Desenlace::Confirmada:
        return;
    case Desenlace::Revertida:
        throw ErrorComponente(QStringLiteral("Error de la base de datos al confirmar la transacción: se perdió la "
                                             "conexión con el servidor, que no la confirmó."));
    case Desenlace::Incierto:
        break;
    }
    throw ErrorDesenlaceIncierto(kDesenlaceIncierto);
}

void ComponenteDAM::revertirTransaccion() noexcept
{
    if (!base_ || !base_->enTransaccion)
        return;
    base_->enTransaccion = false;
    if (base_->conector)
        base_->conector->revertir();
}

bool ComponenteDAM::enTransaccion() const { return base_ && base_->enTransaccion; }
