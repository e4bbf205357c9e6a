#pragma once

#include "Contrato.h"

#include <QSqlDatabase>

#include <map>

// The bundled data-access component, on Qt SQL. loadparameters opens the database
// named by resolverUrlBaseDeDatos(); the database stays open for the component's
// life and every connection object shares it.
class ComponenteDAM final : public Componente {
public:
    ComponenteDAM();
    ~ComponenteDAM() override;
    ComponenteDAM(const ComponenteDAM &) = delete;
    ComponenteDAM &operator=(const ComponenteDAM &) = delete;

    void loadparameters() override;
    [[nodiscard]] std::unique_ptr<Conexion> getDataConnectionByEntity(const QString &entidad) override;

    struct Entidad;

private:
    const QString nombreConexion_;
    QSqlDatabase db_;
    std::map<QString, std::shared_ptr<Entidad>> entidades_;
};
