// SPDX-License-Identifier: GPL-3.0-or-later
// The component's side of the PostgreSQL connector: the address written out as libpq
// takes it, the module found and loaded once, a refused connection named.
#include "dam/Apertura.h"
#include "dam/Bloques.h"
#include "dam/Causas.h"
#include "dam/ConectorPostgres.h"
#include "dam/Modulos.h"

namespace {

// Loaded at the first PostgreSQL address and kept: the connectors it makes live in it.
EntradaPostgres entradaPostgres()
{
    static const auto entrada = reinterpret_cast<EntradaPostgres>(funcionDeModulo(
        TELQUIN_MODULO_POSTGRES, TELQUIN_NOMBRE(TELQUIN_ENTRADA_POSTGRES), QStringLiteral("PostgreSQL")));
    return entrada;
}

PedidoPostgres pedidoDe(const Direccion &d, int espera)
{
    PedidoPostgres pedido;
    const auto anadir = [&pedido](const char *clave, const QString &valor) {
        pedido.parametros.emplace_back(QByteArray(clave), valor.toUtf8());
    };
    if (!d.host.isEmpty())
        anadir("host", d.host);
    if (d.puerto > 0)
        anadir("port", QString::number(d.puerto));
    if (!d.usuario.isEmpty())
        anadir("user", d.usuario);
    if (!d.clave.isEmpty())
        anadir("password", d.clave);
    if (!d.base.isEmpty())
        anadir("dbname", d.base);
    for (const auto &[clave, valor] : ajustesDeSesionPostgres(d, espera))
        pedido.parametros.emplace_back(clave.toUtf8(), valor.toUtf8());
    pedido.espera = espera;
    const QString parametro = QStringLiteral("$1");
    pedido.consulta = consultaEnBloqueDesde(DialectoDeBloque::Postgres, parametro, false).toUtf8();
    pedido.consultaBloqueando = consultaEnBloqueDesde(DialectoDeBloque::Postgres, parametro, true).toUtf8();
    pedido.actualizacion = updateEnBloqueDesde(DialectoDeBloque::Postgres, parametro).toUtf8();
    return pedido;
}

} // namespace

std::unique_ptr<Conector> abrirPostgres(const Direccion &d, int espera)
{
    const EntradaPostgres entrada = entradaPostgres();
    AperturaFallida fallo;
    std::unique_ptr<Conector> conector(entrada(pedidoDe(d, espera), fallo));
    if (conector)
        return conector;
    const QString mensaje
        = QStringLiteral("No se puede abrir la base de datos %1: %2.")
              .arg(d.visible, causaDeAperturaPostgres(fallo.texto, fallo.estadoSql, fallo.faltabaClave));
    const QString detalle = d.secretos.sinClaves(fallo.texto);
    throw ErrorComponente(detalle.isEmpty() ? mensaje : mensaje + u'\n' + detalle);
}
