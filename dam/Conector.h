// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "dam/Bloques.h"
#include "dam/Causas.h"
#include "dam/Direccion.h"
#include "data/Contrato.h"

#include <QString>
#include <QStringView>
#include <QVariant>

#include <cstddef>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

// What a statement gave back: its rows (each value as the database gave it, NULL as
// a null QVariant), or the number of rows it changed, or why it failed.
struct Respuesta {
    std::optional<Fallo> fallo;
    // The failure came while the rows were read, once the statement had run: the
    // statement is not tried again.
    bool alLeer = false;
    std::vector<QString> columnas;
    std::vector<std::vector<QVariant>> filas;
    qlonglong afectadas = -1;
};

inline constexpr std::size_t kTodasLasFilas = std::numeric_limits<std::size_t>::max();

// What one kind of database does its own way. The component keeps the policy (when a
// statement is tried again, what a failure is called, what became of a commit whose
// answer was lost); a connector only runs what it is asked on its one connection and
// says how it went. A failure's `perdida` is set when the connector already knows
// the connection is gone; conexionPerdida() asks.
class Conector {
public:
    virtual ~Conector() = default;

    // Whether [name] identifiers are read as they are written; when not, citar gives
    // a name in the database's own quoting.
    [[nodiscard]] virtual bool tomaCorchetes() const = 0;
    [[nodiscard]] virtual QString citar(const QString &nombre) const = 0;
    // Whether the text reaches the database as written.
    [[nodiscard]] virtual bool transmite(QStringView texto) const = 0;
    // The SQL the chunked statements are written in; none when they are not offered.
    [[nodiscard]] virtual std::optional<DialectoDeBloque> dialecto() const = 0;
    // Whether the server can be asked, on another connection, what became of a
    // transaction (PostgreSQL's txid_current and txid_status).
    [[nodiscard]] virtual bool guardaDesenlaces() const = 0;
    // That number for the transaction open, when it came with the transaction's begin;
    // none, and the component asks for it, otherwise.
    [[nodiscard]] virtual std::optional<qlonglong> numeroDeTransaccion() const { return std::nullopt; }

    // A failure's connection is asked about: false when it still answers, and always
    // false for a database in this process.
    [[nodiscard]] virtual bool conexionPerdida() = 0;
    // Opens a new connection with the same settings; why not, when it cannot.
    [[nodiscard]] virtual std::optional<Fallo> reabrir() = 0;

    // Runs one statement. Up to `maxFilas` rows are read (then the statement is done
    // with); with none, the number of rows changed is given instead.
    [[nodiscard]] virtual Respuesta ejecutar(const QString &texto, std::size_t maxFilas) = 0;
    // The chunked statements of Bloques.h, the JSON as jsonDeClaves and jsonDeCambios
    // write it: rows of (index, unit), and for each row changed its index (PostgreSQL)
    // or its three key values (SQLite).
    [[nodiscard]] virtual Respuesta consultarBloque(const QString &json, bool bloquear) = 0;
    [[nodiscard]] virtual Respuesta actualizarBloque(const QString &json) = 0;

    [[nodiscard]] virtual std::optional<Fallo> comenzar(Transacciones::Aislamiento aislamiento) = 0;
    [[nodiscard]] virtual std::optional<Fallo> confirmar() = 0;
    virtual void revertir() noexcept = 0;

    // How a signal handler stops the running statement, and any wait still to come;
    // valid while the connector lives, across reconnections.
    [[nodiscard]] virtual FilasEnBloque::Cancelacion cancelacion() = 0;
    // Whether a stop was asked for through cancelacion().
    [[nodiscard]] virtual bool detenida() const = 0;
};

// Opens the database of an address with the connector of its kind. No statement waits
// longer than `espera` seconds on what another user holds. Raises ErrorComponente
// naming the cause (ErrorDeConfiguracion for an address that cannot be used); never
// creates a database file; no text it raises holds the password.
[[nodiscard]] std::unique_ptr<Conector> abrirConector(const Direccion &d, int espera);
