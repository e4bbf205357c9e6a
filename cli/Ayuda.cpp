// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Ayuda.h"
#include "cli/Linea.h"

#include <algorithm>
#include <csignal>

namespace {

// Each line of the text after the first indented to the column where the first starts.
QString sangrado(const QString &texto, qsizetype columna)
{
    QString resultado = texto;
    resultado.replace(u'\n', u'\n' + QString(columna, u' '));
    return resultado;
}

// "  nombre  texto" entries, the texts lined up two columns after the longest name.
QString entradas(const QList<std::pair<QString, QString>> &filas)
{
    qsizetype ancho = 0;
    for (const auto &[nombre, texto] : filas)
        ancho = std::max(ancho, nombre.size());
    QString resultado;
    for (const auto &[nombre, texto] : filas)
        resultado += QStringLiteral("  ") + nombre.leftJustified(ancho + 2) + sangrado(texto, ancho + 4) + u'\n';
    return resultado;
}

} // namespace

QString nombreConValor(const OpcionDeOrden &opcion)
{
    return QStringLiteral("--") + opcion.nombre + (opcion.valor ? u' ' + opcion.valor->nombre : QString());
}

const std::vector<OpcionGeneral> &opcionesGenerales()
{
    static const std::vector<OpcionGeneral> opciones{
        {{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("muestra esta ayuda")},
        {{QStringLiteral("v"), QStringLiteral("version")}, QStringLiteral("muestra la versión")},
    };
    return opciones;
}

const std::vector<EstadoDeSalida> &estadosDeSalida()
{
    static const std::vector<EstadoDeSalida> estados{
        {{estado::kHecho}, QStringLiteral("hecho")},
        {{estado::kProblemaDeDatos},
         QStringLiteral("problema de los datos (posición no encontrada o mal escrita, unidad\n"
                        "incorrecta, una actualización que no cambió ninguna fila, filas con\n"
                        "errores en un lote); no se guardó nada. Con historial: líneas del\n"
                        "registro que no se pudieron leer. Con lista: no hay ninguna\n"
                        "importada; con buscar: no se encontró ninguna posición; con\n"
                        "conciliar: la tabla y la lista oficial difieren")},
        {{estado::kUso},
         QStringLiteral("error de uso: orden u opción desconocida, falta un argumento,\n"
                        "archivo que no se puede leer, lote de más de 64 MiB. Con lista\n"
                        "importar: la lista no se pudo importar (la lista en uso no\n"
                        "cambió); con buscar y conciliar: no hay ninguna lista importada")},
        {{estado::kFalloDeBase},
         QStringLiteral("falló la base de datos, o siguió ocupada más allá de su espera; no\n"
                        "se guardó nada")},
        {{estado::kSinBitacora}, QStringLiteral("se guardó, pero no se pudo anotar en el registro de cambios")},
        {{estado::kSinSalida},
         QStringLiteral("no se pudo escribir la salida estándar (si la orden guardaba\n"
                        "cambios, quedaron guardados y anotados en el registro)")},
        {{estado::kDesenlaceIncierto},
         QStringLiteral("se perdió la conexión al confirmar y no se sabe si los cambios se\n"
                        "guardaron; no se anotó nada")},
        {{estado::porSenal(SIGINT), estado::porSenal(SIGTERM), estado::porSenal(SIGHUP)},
         QStringLiteral("Ctrl+C (SIGINT), %1 SIGTERM, %2 SIGHUP: antes de confirmar, detiene\n"
                        "la orden y no se guardó nada; después, espera a que los cambios\n"
                        "queden anotados en el registro, y todos quedaron guardados")
             .arg(estado::porSenal(SIGTERM))
             .arg(estado::porSenal(SIGHUP))},
    };
    return estados;
}

QString nombresDeOpcion(const QStringList &nombres)
{
    QStringList conGuiones;
    for (const QString &n : nombres)
        conGuiones << (n.size() == 1 ? QString(u'-' + n) : QString(QStringLiteral("--") + n));
    return conGuiones.join(QStringLiteral(", "));
}

QString enumeracion(const QStringList &palabras)
{
    if (palabras.size() < 2)
        return palabras.join(QString());
    return palabras.first(palabras.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" o ") + palabras.last();
}

QString ayuda(const std::vector<Orden> &ordenes)
{
    QList<std::pair<QString, QString>> usos{{QStringLiteral("telquin"), QStringLiteral("abre la ventana")}};
    QList<std::pair<QString, QString>> parrafos;
    QList<std::pair<QString, QString>> opciones;
    for (const Orden &o : ordenes) {
        usos.append({QStringLiteral("telquin ") + o.uso(), o.resumen});
        parrafos.append({o.titulo(), o.ayuda});
        for (const OpcionDeOrden &opcion : o.opciones)
            opciones.append({nombreConValor(opcion), QStringLiteral("con %1: %2").arg(o.titulo(), opcion.ayuda)});
    }
    for (const OpcionGeneral &g : opcionesGenerales())
        opciones.append({nombresDeOpcion(g.nombres), g.ayuda});
    QString texto = QStringLiteral("Uso:\n") + entradas(usos)
        + QStringLiteral("\n"
                         "Los datos salen por la salida estándar, un registro por línea, con los\n"
                         "campos separados por tabuladores; los mensajes, por la salida de errores.\n"
                         "\n"
                         "Órdenes:\n")
        + entradas(parrafos) + QStringLiteral("\nOpciones:\n") + entradas(opciones)
        + QStringLiteral("\n"
                         "La base de datos es la de DAM_DATABASE_URL o la de\n"
                         "~/.config/telquin/dam.conf (véase man telquin). El registro de cambios es\n"
                         "~/.local/state/telquin/cambios.csv.\n"
                         "\n"
                         "Estados de salida:\n");
    QString estados;
    for (const EstadoDeSalida &e : estadosDeSalida())
        estados += QStringLiteral("  ") + QString::number(e.codigos.front()).leftJustified(5) + sangrado(e.texto, 7)
            + u'\n';
    return texto + estados;
}

QString palabrasDeCompletado(const std::vector<Orden> &ordenes)
{
    QStringList generales;
    for (const OpcionGeneral &g : opcionesGenerales())
        generales << nombresDeOpcion(g.nombres).split(QStringLiteral(", "));
    QString texto = QStringLiteral("opciones ") + generales.join(u' ') + u'\n';
    QStringList conValor;
    for (const Orden &o : ordenes) {
        texto += QStringLiteral("orden ") + o.titulo();
        for (const OpcionDeOrden &opcion : o.opciones)
            texto += QStringLiteral(" --") + opcion.nombre;
        texto += u'\n';
        for (std::size_t i = 0; i < o.argumentos.size(); ++i)
            if (o.argumentos[i].clase == Clase::Archivo)
                texto += QStringLiteral("archivo %1 %2\n").arg(o.titulo()).arg(i + 1);
        for (const OpcionDeOrden &opcion : o.opciones)
            if (opcion.valor && !conValor.contains(opcion.nombre)) {
                conValor << opcion.nombre;
                texto += QStringLiteral("valor --") + opcion.nombre
                    + (opcion.valor->clase == Clase::Archivo ? QStringLiteral(" archivo\n") : QStringLiteral("\n"));
            }
    }
    return texto;
}
