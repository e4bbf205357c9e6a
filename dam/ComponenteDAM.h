// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "data/Contrato.h"

#include <memory>

// The bundled data-access component: the host's contract over the connector of the
// address's kind (Conector.h). loadparameters opens the database named by
// resolverParametros(); the database stays open for the component's life
// and every connection object shares it. A statement that fails because the
// connection was lost, or because the server ended the session, is run once more on
// a new connection; one that met a passing condition (a wait run out, a deadlock, a
// cancellation) raises ErrorOcupado. Inside a transaction a lost connection is an
// error like any other: a new connection would have lost what the transaction did.
class ComponenteDAM final : public Componente,
                            public Transacciones,
                            public FilasEnBloque,
                            public Procedencia,
                            public FilasDeConsulta {
public:
    ComponenteDAM();
    ~ComponenteDAM() override;
    ComponenteDAM(const ComponenteDAM &) = delete;
    ComponenteDAM &operator=(const ComponenteDAM &) = delete;

    void loadparameters() override;
    [[nodiscard]] std::unique_ptr<Conexion> getDataConnectionByEntity(const QString &entidad) override;

    // On SQLite the transaction takes the file's write lock as it begins, so that no
    // other writer can make one of its statements wait halfway.
    // On PostgreSQL, directly or through ODBC, a commit whose answer is lost is asked
    // about on a new connection (txid_status) before it is called failed or unknown.
    void comenzarTransaccion(Aislamiento aislamiento = Aislamiento::Confirmada) override;
    void confirmarTransaccion() override;
    void revertirTransaccion() noexcept override;
    [[nodiscard]] bool enTransaccion() const override;

    // SQLite, and PostgreSQL directly or through ODBC: one statement per chunk.
    [[nodiscard]] bool admiteBloques() const override;
    [[nodiscard]] std::vector<std::optional<QVariant>> consultarUnidades(const std::vector<PositionKey> &claves,
                                                                         bool bloquear) override;
    [[nodiscard]] std::vector<qlonglong>
    actualizarUnidades(const std::vector<std::pair<PositionKey, QString>> &cambios) override;
    [[nodiscard]] Cancelacion cancelacion() override;

    // Every row, through the entity's connection: the same identifiers, checks and
    // retry as crearrs.
    [[nodiscard]] std::vector<std::vector<QVariant>> leerFilas(const QString &entidad,
                                                               const QString &sentencia) override;

    // The database's address without its password; empty before loadparameters.
    [[nodiscard]] QString direccion() const override;

    struct Base;

private:
    void exigirParametros() const;

    std::shared_ptr<Base> base_;
};

// Registers the bundled component under kClaseDAM.
void registrarComponenteDAM();
