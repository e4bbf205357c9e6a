// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Linea.h"

#include "Version.h"
#include "archivos/Idioma.h"
#include "archivos/Sistema.h"
#include "cli/Ayuda.h"
#include "cli/Ordenes.h"
#include "cli/Salida.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace {

struct Orden {
    const char *nombre;
    int minimo;
    int maximo;
    const char *uso;
    // Runs the command with its arguments (the command's name first).
    int (*ejecutar)(const QStringList &argumentos, bool aplicar);
    // Stores changes (with --aplicar, for lote): a closed pipe is then an error to
    // report, not the end.
    bool (*guarda)(bool aplicar);
};

constexpr Orden kOrdenes[] = {
    {"consultar", 1, 1, "consultar POSICION", [](const QStringList &a, bool) { return consultar(a[1]); },
     [](bool) { return false; }},
    {"cambiar", 2, 2, "cambiar POSICION UNIDAD", [](const QStringList &a, bool) { return cambiar(a[1], a[2]); },
     [](bool) { return true; }},
    {"lote", 1, 1, "lote ARCHIVO [--aplicar]", [](const QStringList &a, bool aplicar) { return lote(a[1], aplicar); },
     [](bool aplicar) { return aplicar; }},
    {"historial", 0, 1, "historial [POSICION]", [](const QStringList &a, bool) { return historial(a.value(1)); },
     [](bool) { return false; }},
};

// The command's status, once what it left for standard output is written.
int conSalidaEscrita(int estadoDeLaOrden)
{
    if (salida().volcar())
        return estadoDeLaOrden;
    QString mensaje = QStringLiteral("telquin: no se pudo escribir la salida: ")
        + motivoDelSistema(errorDeSalida(), Acceso::Escritura);
    if (guardadosYAnotados())
        mensaje += QStringLiteral("\nLos cambios están guardados y anotados en el registro.");
    avisar(mensaje);
    // A journal not written (4), a database that failed (3) or Ctrl+C (130) say more.
    return estadoDeLaOrden == estado::kHecho || estadoDeLaOrden == estado::kProblemaDeDatos ? estado::kSinSalida
                                                                                            : estadoDeLaOrden;
}

int ejecutarOrden(const Orden &orden, const QStringList &argumentos, bool aplicar)
{
    try {
        return orden.ejecutar(argumentos, aplicar);
    } catch (const ErrorComponente &e) {
        const bool conPosicion = QLatin1String(orden.nombre) != QLatin1String("lote");
        return falloDeBase(e, conPosicion ? argumentos.value(1) : QString());
    }
}

} // namespace

int ejecutarLinea(int argc, char **argv)
{
    terminarEnTuberiaCerrada(true);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Telquin"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TELQUIN_VERSION));
    // The option parser's own errors ("Valor inesperado tras «--aplicar».") in Spanish.
    instalarTraduccionDeQt(app);

    QCommandLineParser parser;
    const QCommandLineOption opcionAplicar(QStringLiteral("aplicar"));
    const QCommandLineOption opcionAyuda(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption opcionVersion(QStringList{QStringLiteral("v"), QStringLiteral("version")});
    parser.addOptions({opcionAplicar, opcionAyuda, opcionVersion});
    if (!parser.parse(QCoreApplication::arguments())) {
        const QStringList desconocidas = parser.unknownOptionNames();
        if (!desconocidas.isEmpty())
            return errorDeUso(QStringLiteral("opción desconocida: %1%2")
                                  .arg(desconocidas.front().size() == 1 ? QStringLiteral("-") : QStringLiteral("--"),
                                       desconocidas.front()));
        return errorDeUso(parser.errorText());
    }
    if (parser.isSet(opcionAyuda)) {
        salida().texto(ayuda());
        return conSalidaEscrita(estado::kHecho);
    }
    if (parser.isSet(opcionVersion)) {
        salida().texto(QStringLiteral("telquin " TELQUIN_VERSION "\n"));
        return conSalidaEscrita(estado::kHecho);
    }

    const QStringList argumentos = parser.positionalArguments();
    if (argumentos.isEmpty())
        return errorDeUso(QStringLiteral("falta la orden (consultar, cambiar, lote o historial)"));
    const QString &nombre = argumentos.front();
    const Orden *orden = nullptr;
    for (const Orden &o : kOrdenes)
        if (nombre == QLatin1String(o.nombre))
            orden = &o;
    if (!orden)
        return errorDeUso(QStringLiteral("orden desconocida: «%1»").arg(nombre));
    const qsizetype dados = argumentos.size() - 1;
    if (dados < orden->minimo)
        return errorDeUso(QStringLiteral("faltan argumentos; uso: telquin %1").arg(QLatin1String(orden->uso)));
    if (dados > orden->maximo)
        return errorDeUso(QStringLiteral("sobran argumentos; uso: telquin %1").arg(QLatin1String(orden->uso)));
    const bool aplicar = parser.isSet(opcionAplicar);
    if (aplicar && nombre != QLatin1String("lote"))
        return errorDeUso(QStringLiteral("--aplicar solo vale para la orden lote"));

    // A command that stores reports a closed pipe after its work like any lost output.
    terminarEnTuberiaCerrada(!orden->guarda(aplicar));
    marcarQuePuedeGuardar(orden->guarda(aplicar));
    return conSalidaEscrita(ejecutarOrden(*orden, argumentos, aplicar));
}
