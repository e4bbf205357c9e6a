#pragma once

#include "Contrato.h"

#include <memory>

// The bundled data-access component, on Qt SQL. loadparameters opens the database
// named by resolverParametros(); the database stays open for the component's life
// and every connection object shares it. A statement that fails because the
// connection was lost is run once more on a new connection; one that waited too long
// on another user raises ErrorOcupado.
class ComponenteDAM final : public Componente {
public:
    ComponenteDAM();
    ~ComponenteDAM() override;
    ComponenteDAM(const ComponenteDAM &) = delete;
    ComponenteDAM &operator=(const ComponenteDAM &) = delete;

    void loadparameters() override;
    [[nodiscard]] std::unique_ptr<Conexion> getDataConnectionByEntity(const QString &entidad) override;

    // The database's address without its password; empty before loadparameters.
    [[nodiscard]] QString direccion() const;

    struct Base;

private:
    std::shared_ptr<Base> base_;
};
