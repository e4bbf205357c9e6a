// SPDX-License-Identifier: GPL-3.0-or-later
// The component's side of the PostgreSQL connector: the address written out as libpq
// takes it, the module found and loaded once, a refused connection named.
#include "dam/Apertura.h"
#include "dam/Bloques.h"
#include "dam/Causas.h"
#include "dam/ConectorPostgres.h"

#include <QFileInfo>
#include <QMutex>

#include <dlfcn.h>

#define TELQUIN_TEXTO(x) #x
#define TELQUIN_NOMBRE(x) TELQUIN_TEXTO(x)

namespace {

// The folder of modules, named from the running program's own folder as app/Modulos
// does: the installed program's, the build tree's program's, and a test's or bench's
// in the build tree, which sits as deep as the program.
QString rutaDelModulo()
{
    const QString programa = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    return QFileInfo(programa).path() + QStringLiteral("/" TELQUIN_CARPETA_MODULOS "/" TELQUIN_MODULO_POSTGRES);
}

// Loaded at the first PostgreSQL address and kept: the connectors it makes live in it.
EntradaPostgres entradaPostgres()
{
    static QMutex cerrojo;
    static EntradaPostgres entrada = nullptr;
    const QMutexLocker bloqueo(&cerrojo);
    if (entrada)
        return entrada;
    const QString ruta = rutaDelModulo();
    // Lazily, as app/Modulos loads its modules: RTLD_NOW would bind at once every
    // function of libpq's own libraries (OpenSSL, Kerberos, LDAP).
    void *const modulo = ::dlopen(QFile::encodeName(ruta).constData(), RTLD_LAZY | RTLD_LOCAL);
    if (modulo)
        entrada = reinterpret_cast<EntradaPostgres>(::dlsym(modulo, TELQUIN_NOMBRE(TELQUIN_ENTRADA_POSTGRES)));
    if (!entrada) {
        const char *const razon = ::dlerror();
        throw ErrorComponente(
            QStringLiteral("No se puede cargar la parte de Telquin que trabaja con PostgreSQL (%1): %2.")
                .arg(ruta, razon ? QString::fromLocal8Bit(razon) : QStringLiteral("no es de esta versión")));
    }
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
