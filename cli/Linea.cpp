// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Linea.h"

#include "Version.h"
#include "archivos/Idioma.h"
#include "archivos/Sistema.h"
#include "cli/Ayuda.h"
#include "cli/Ordenes.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <csignal>

namespace {

// The option that gives the completion its words; --help does not list it.
const QString kCompletado = QStringLiteral("palabras-de-completado");

// The command's status, once what it left for standard output is written.
int conSalidaEscrita(Contexto &contexto, int estadoDeLaOrden)
{
    if (contexto.salida.volcar())
        return estadoDeLaOrden;
    QString mensaje = QStringLiteral("telquin: no se pudo escribir la salida: ")
        + motivoDelSistema(contexto.salida.error(), Acceso::Escritura);
    if (contexto.guardadosYAnotados)
        mensaje += QStringLiteral("\nLos cambios están guardados y anotados en el registro.");
    avisar(contexto, mensaje);
    // A journal not written (4), a database that failed (3) or Ctrl+C (130) say more.
    return estadoDeLaOrden == estado::kHecho || estadoDeLaOrden == estado::kProblemaDeDatos ? estado::kSinSalida
                                                                                            : estadoDeLaOrden;
}

int ejecutarOrden(Contexto &contexto, const Orden &orden, const Pedido &pedido)
{
    try {
        return orden.ejecutar(contexto, pedido);
    } catch (const ErrorComponente &e) {
        return falloDeBase(contexto, e, pedido.de(orden, Clase::Posicion));
    }
}

// "la orden lote", "las órdenes lote o cambiar": those that take the option.
QString ordenesConOpcion(const std::vector<Orden> &ordenes, const QString &opcion)
{
    QStringList nombres;
    for (const Orden &o : ordenes)
        for (const OpcionDeOrden &d : o.opciones)
            if (d.nombre == opcion)
                nombres << o.titulo();
    return (nombres.size() == 1 ? QStringLiteral("la orden ") : QStringLiteral("las órdenes ")) + enumeracion(nombres);
}

// The command the words name: the one whose word follows the name, else the one of
// that name without a word. Null when none.
const Orden *ordenNombrada(const std::vector<Orden> &ordenes, const QStringList &posicionales)
{
    const Orden *sinPalabra = nullptr;
    for (const Orden &o : ordenes) {
        if (o.nombre != posicionales.front())
            continue;
        if (o.palabra.isEmpty())
            sinPalabra = &o;
        else if (posicionales.size() > 1 && posicionales[1] == o.palabra)
            return &o;
    }
    return sinPalabra;
}

// "telquin lista, o telquin lista importar ARCHIVO": every command of that name.
QString usos(const std::vector<Orden> &ordenes, const QString &nombre)
{
    QStringList lineas;
    for (const Orden &o : ordenes)
        if (o.nombre == nombre)
            lineas << QStringLiteral("telquin ") + o.uso();
    return lineas.join(QStringLiteral(", o "));
}

} // namespace

int ejecutarOrdenes(Contexto &contexto, const QStringList &argumentos, const std::vector<Orden> &ordenes)
{
    QCommandLineParser parser;
    QStringList deOrdenes;
    for (const Orden &o : ordenes)
        for (const OpcionDeOrden &d : o.opciones)
            if (!deOrdenes.contains(d.nombre)) {
                deOrdenes << d.nombre;
                parser.addOption(d.valor ? QCommandLineOption(d.nombre, QString(), d.valor->nombre)
                                         : QCommandLineOption(d.nombre));
            }
    for (const OpcionGeneral &g : opcionesGenerales())
        parser.addOption(QCommandLineOption(g.nombres));
    QCommandLineOption completado(kCompletado);
    completado.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(completado);
    if (!parser.parse(argumentos)) {
        const QStringList desconocidas = parser.unknownOptionNames();
        if (!desconocidas.isEmpty())
            return errorDeUso(contexto,
                              QStringLiteral("opción desconocida: %1%2")
                                  .arg(desconocidas.front().size() == 1 ? QStringLiteral("-") : QStringLiteral("--"),
                                       desconocidas.front()));
        return errorDeUso(contexto, parser.errorText());
    }
    if (parser.isSet(QStringLiteral("help"))) {
        contexto.salida.texto(ayuda(ordenes));
        return conSalidaEscrita(contexto, estado::kHecho);
    }
    if (parser.isSet(QStringLiteral("version"))) {
        contexto.salida.texto(QStringLiteral("telquin " TELQUIN_VERSION "\n"));
        return conSalidaEscrita(contexto, estado::kHecho);
    }
    if (parser.isSet(completado)) {
        contexto.salida.texto(palabrasDeCompletado(ordenes));
        return conSalidaEscrita(contexto, estado::kHecho);
    }

    const QStringList posicionales = parser.positionalArguments();
    if (posicionales.isEmpty()) {
        QStringList nombres;
        for (const Orden &o : ordenes)
            if (!nombres.contains(o.nombre))
                nombres << o.nombre;
        return errorDeUso(contexto, QStringLiteral("falta la orden (%1)").arg(enumeracion(nombres)));
    }
    const QString &nombre = posicionales.front();
    const Orden *orden = ordenNombrada(ordenes, posicionales);
    if (!orden) {
        const bool existe
            = std::any_of(ordenes.begin(), ordenes.end(), [&](const Orden &o) { return o.nombre == nombre; });
        if (!existe)
            return errorDeUso(contexto, QStringLiteral("orden desconocida: «%1»").arg(nombre));
        return errorDeUso(contexto, QStringLiteral("uso: %1").arg(usos(ordenes, nombre)));
    }
    Pedido pedido;
    pedido.argumentos = posicionales.mid(orden->palabra.isEmpty() ? 1 : 2);
    if (pedido.argumentos.size() < orden->minimo())
        return errorDeUso(contexto, QStringLiteral("faltan argumentos; uso: %1").arg(usos(ordenes, nombre)));
    if (pedido.argumentos.size() > orden->maximo())
        return errorDeUso(contexto, QStringLiteral("sobran argumentos; uso: %1").arg(usos(ordenes, nombre)));
    for (const QString &opcion : deOrdenes) {
        if (!parser.isSet(opcion))
            continue;
        const auto suya = std::find_if(orden->opciones.begin(), orden->opciones.end(),
                                       [&](const OpcionDeOrden &d) { return d.nombre == opcion; });
        if (suya == orden->opciones.end())
            return errorDeUso(contexto,
                              QStringLiteral("--%1 solo vale para %2").arg(opcion, ordenesConOpcion(ordenes, opcion)));
        pedido.opciones << opcion;
        if (!suya->valor)
            continue;
        if (parser.values(opcion).size() > 1)
            return errorDeUso(contexto, QStringLiteral("--%1 se dio más de una vez").arg(opcion));
        pedido.valores.insert(opcion, parser.value(opcion));
    }

    // A command that stores reports a closed pipe after its work like any lost output.
    contexto.puedeGuardar = orden->guardaCon(pedido);
    contexto.salida.destino().terminarEnTuberia(!contexto.puedeGuardar);
    return conSalidaEscrita(contexto, ejecutarOrden(contexto, *orden, pedido));
}

int ejecutarLinea(int argc, char **argv, bool salidaCerrada)
{
    // A closed pipe comes back as a failed write, which the output then handles.
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Telquin"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TELQUIN_VERSION));
    // The option parser's own errors ("Valor inesperado tras «--aplicar».") in Spanish.
    instalarTraduccionDeQt(app);

    DestinoDescriptor salida(STDOUT_FILENO, salidaCerrada);
    // --help and the usage errors store nothing.
    salida.terminarEnTuberia(true);
    DestinoDescriptor errores(STDERR_FILENO);
    Contexto contexto(salida, errores);
    contexto.conProgreso = terminalConProgreso();
    return ejecutarOrdenes(contexto, QCoreApplication::arguments(), ordenes());
}
