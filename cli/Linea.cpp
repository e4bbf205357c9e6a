// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Linea.h"

#include "Version.h"
#include "archivos/Bitacora.h"
#include "archivos/Sistema.h"
#include "cli/Lote.h"
#include "cli/Salida.h"
#include "cli/Terminal.h"
#include "codes/Codigos.h"
#include "codes/Unidades.h"
#include "data/Clases.h"
#include "data/Sentencias.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QSet>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kFormatoIncorrecto = QStringLiteral("Formato de PA incorrecto (Ej. 8901.10.00.000L)");
const QString kNoEncontrada = QStringLiteral("Posicion Arancelaria No encontrada");
const QString kVerifique = QStringLiteral("Verifique los datos antes de guardar");
const QString kNadaGuardado = QStringLiteral("No se guardó ningún cambio.");
constexpr qint64 kLoteMaximo = 64 * 1024 * 1024;

// Set once the command's changes are stored and noted in the journal.
bool guardadosYAnotados = false;

QString ayuda()
{
    return QStringLiteral("Uso:\n"
                          "  telquin                           abre la ventana\n"
                          "  telquin consultar POSICION        muestra la unidad de una posición\n"
                          "  telquin cambiar POSICION UNIDAD   guarda otra unidad para una posición\n"
                          "  telquin lote ARCHIVO [--aplicar]  revisa un lote de cambios (y lo guarda)\n"
                          "  telquin historial [POSICION]      muestra el registro de cambios\n"
                          "\n"
                          "Los datos salen por la salida estándar, un registro por línea, con los\n"
                          "campos separados por tabuladores; los mensajes, por la salida de errores.\n"
                          "\n"
                          "Órdenes:\n"
                          "  consultar  Escribe la posición, su unidad estadística y el nombre de la\n"
                          "             unidad (\"código no oficial\" si no está en la tabla oficial;\n"
                          "             vacío si la posición no tiene unidad).\n"
                          "  cambiar    Como F9 en la ventana: la posición debe existir y la unidad\n"
                          "             tener dos dígitos (\"5\" se guarda como \"05\"). Escribe la\n"
                          "             posición, la unidad anterior y la nueva, y anota el cambio en\n"
                          "             el registro de cambios.\n"
                          "  lote       ARCHIVO es un CSV de dos columnas, posición y unidad,\n"
                          "             separadas por \",\" o \";\", en UTF-8; \"-\" lee la entrada\n"
                          "             estándar. Si el primer campo de la primera línea es\n"
                          "             \"posicion\", esa línea es el encabezado.\n"
                          "             Sin --aplicar no escribe nada en la base: revisa cada fila y\n"
                          "             escribe línea, posición, unidad actual, unidad nueva,\n"
                          "             resultado y nota. Resultados: cambia, igual, no encontrada,\n"
                          "             formato incorrecto, unidad incorrecta, repetida (la misma\n"
                          "             posición con otra unidad en otra fila). Al final, la cuenta\n"
                          "             de cada resultado por la salida de errores.\n"
                          "             Con --aplicar revisa igual y, si todas las filas son \"cambia\"\n"
                          "             o \"igual\", guarda los cambios en una sola transacción: todos\n"
                          "             o ninguno.\n"
                          "  historial  Escribe el registro de cambios, del más antiguo al más\n"
                          "             reciente (o solo los de una posición), después de una línea\n"
                          "             de encabezado.\n"
                          "\n"
                          "Opciones:\n"
                          "  --aplicar      con lote: guarda los cambios revisados\n"
                          "  -h, --help     muestra esta ayuda\n"
                          "  -v, --version  muestra la versión\n"
                          "\n"
                          "La base de datos es la de DAM_DATABASE_URL o la de\n"
                          "~/.config/telquin/dam.conf (véase man telquin). El registro de cambios es\n"
                          "~/.local/state/telquin/cambios.csv.\n"
                          "\n"
                          "Estados de salida:\n"
                          "  0    hecho\n"
                          "  1    problema de los datos (posición no encontrada o mal escrita, unidad\n"
                          "       incorrecta, una actualización que no cambió ninguna fila, filas con\n"
                          "       errores en un lote); no se guardó nada. Con historial: líneas del\n"
                          "       registro que no se pudieron leer\n"
                          "  2    error de uso: orden u opción desconocida, falta un argumento,\n"
                          "       archivo que no se puede leer, lote de más de 64 MiB\n"
                          "  3    falló la base de datos, o siguió ocupada más allá de su espera; no\n"
                          "       se guardó nada\n"
                          "  4    se guardó, pero no se pudo anotar en el registro de cambios\n"
                          "  5    no se pudo escribir la salida estándar (si la orden guardaba\n"
                          "       cambios, quedaron guardados y anotados en el registro)\n"
                          "  130  interrumpido con Ctrl+C antes de confirmar; no se guardó nada\n");
}

void avisar(const QString &mensaje)
{
    // What was written before the message comes out before it.
    (void)salida().volcar();
    const QByteArray texto = mensaje.toUtf8() + '\n';
    std::fwrite(texto.constData(), 1, size_t(texto.size()), stderr);
    std::fflush(stderr);
}

int errorDeUso(const QString &mensaje)
{
    avisar(QStringLiteral("telquin: ") + mensaje + QStringLiteral("\nPruebe «telquin --help» para más información."));
    return estado::kUso;
}

// A passing condition gets the window's words, of the position when the command
// names one (empty for a batch).
int falloDeBase(const ErrorComponente &error, const QString &posicion = {})
{
    const auto *pasajera = dynamic_cast<const ErrorOcupado *>(&error);
    if (pasajera) {
        const AvisoDeCondicion aviso = avisoDeCondicion(pasajera->condicion(), posicion);
        avisar(QStringLiteral("telquin: ") + aviso.queOcurrio + u' ' + aviso.queHacer + u' ' + kNadaGuardado + u'\n'
               + error.mensaje());
    } else {
        avisar(QStringLiteral("Falló la base de datos. ") + kNadaGuardado + u'\n' + error.mensaje());
    }
    return estado::kFalloDeBase;
}

std::unique_ptr<Componente> abrirComponente()
{
    auto oDAM = CrearObjeto(kClaseDAM);
    oDAM->loadparameters();
    return oDAM;
}

int consultar(const QString &posicion)
{
    if (!esPosicionValida(posicion)) {
        avisar(kFormatoIncorrecto);
        return estado::kProblemaDeDatos;
    }
    const auto oDAM = abrirComponente();
    const UnidadLeida leida = ConsultarUnidad(*oDAM, posicion);
    if (!leida.encontrada) {
        avisar(kNoEncontrada);
        return estado::kProblemaDeDatos;
    }
    const QString unidad = textoDeUnidad(leida.valor);
    salida().linea({posicion, unidad, descripcionDeUnidad(unidad)});
    return estado::kHecho;
}

int cambiar(const QString &posicion, const QString &unidadEscrita)
{
    if (!esPosicionValida(posicion)) {
        avisar(kFormatoIncorrecto);
        return estado::kProblemaDeDatos;
    }
    const QString unidad = formatearUnidad(unidadEscrita);
    const auto oDAM = abrirComponente();
    const UnidadLeida leida = ConsultarUnidad(*oDAM, posicion);
    if (!leida.encontrada) {
        avisar(kNoEncontrada);
        return estado::kProblemaDeDatos;
    }
    if (!esUnidadValida(unidad)) {
        avisar(kVerifique + QStringLiteral(": la unidad debe tener dos dígitos (Ej. 07), no «%1».").arg(unidadEscrita));
        return estado::kProblemaDeDatos;
    }
    const QString anterior = textoDeUnidad(leida.valor);
    if (ActualizarUnidad(*oDAM, posicion, unidad) <= 0) {
        avisar(QStringLiteral("Error Actualizando la Ncm ") + posicion
               + QStringLiteral("los cambios no han sido realizados."));
        return estado::kProblemaDeDatos;
    }
    // Stored, then noted, then told: nothing that befalls standard output can come
    // between a change and its line in the journal.
    const auto aviso
        = anotarEnBitacora({nuevaAnotacion(direccionDe(*oDAM), posicion, anterior, unidad, QStringLiteral("linea"))});
    guardadosYAnotados = !aviso;
    salida().linea({posicion, anterior, unidad});
    if (aviso) {
        avisar(*aviso);
        return estado::kSinBitacora;
    }
    return estado::kHecho;
}

// The batch's bytes. Standard input or a device is read no further than one byte
// past the limit, so that /dev/zero is not read until memory runs out.
LecturaCompleta leerArchivo(const QString &nombre)
{
    const bool entrada = nombre == QLatin1String("-");
    const int fd = entrada ? STDIN_FILENO : ::open(QFile::encodeName(nombre).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        LecturaCompleta fallida;
        fallida.error = errno;
        return fallida;
    }
    LecturaCompleta leida = leerHasta(fd, kLoteMaximo);
    if (!entrada)
        ::close(fd);
    return leida;
}

int interrumpido(Transacciones *t)
{
    if (t)
        t->revertirTransaccion();
    avisar(QStringLiteral("Interrumpido. ") + kNadaGuardado);
    return estado::kInterrumpido;
}

// The check's lines on standard output and the count of each outcome on standard
// error; how many rows have errors.
qsizetype mostrarRevision(const std::vector<Revision> &revisiones)
{
    std::array<qsizetype, kResultados.size()> cuentas{};
    qsizetype errores = 0;
    Salida &s = salida();
    for (const Revision &r : revisiones) {
        s.numero(r.linea);
        for (const QString *campo : {&r.posicion, &r.actual, &r.nueva, &nombreDeResultado(r.resultado), &r.nota})
            s.campo(*campo);
        s.finDeLinea();
        ++cuentas[std::size_t(r.resultado)];
        errores += esError(r.resultado) ? 1 : 0;
    }
    QStringList resumen;
    for (const Resultado r : kResultados)
        resumen << QStringLiteral("%1: %2").arg(nombreDeResultado(r)).arg(cuentas[std::size_t(r)]);
    avisar(resumen.join(u'\t'));
    return errores;
}

// Stores a checked batch without errors in one transaction, and notes it in the
// journal once committed.
int aplicarLote(Componente &oDAM, Transacciones &t, const std::vector<Revision> &revisiones)
{
    // A position written twice with the same unit is stored once.
    std::vector<const Revision *> cambios;
    QSet<QString> vistas;
    for (const Revision &r : revisiones)
        if (r.resultado == Resultado::Cambia && !vistas.contains(r.posicion)) {
            vistas.insert(r.posicion);
            cambios.push_back(&r);
        }

    // Whatever happens, the check's lines come out once the transaction has ended,
    // before the message that says how.
    Progreso progreso;
    const auto revertir = [&] {
        t.revertirTransaccion();
        progreso.borrar();
        mostrarRevision(revisiones);
    };
    try {
        progreso.etapa(QStringLiteral("Guardadas"), qsizetype(cambios.size()));
        for (std::size_t i = 0; i < cambios.size(); ++i) {
            if (Interrupcion::pedida()) {
                revertir();
                return interrumpido(nullptr);
            }
            const Revision &r = *cambios[i];
            if (ActualizarUnidad(oDAM, r.posicion, r.nueva) <= 0) {
                revertir();
                avisar(QStringLiteral("Error Actualizando la Ncm ") + r.posicion
                       + QStringLiteral("los cambios no han sido realizados. (línea %1; el lote no se aplica)")
                             .arg(r.linea));
                return estado::kProblemaDeDatos;
            }
            progreso.avanzar(qsizetype(i + 1));
        }
        progreso.borrar();
        // Once the commit is on its way, Ctrl+C waits for its answer.
        const SinInterrupcion sinInterrupcion;
        if (Interrupcion::pedida()) {
            revertir();
            return interrumpido(nullptr);
        }
        t.confirmarTransaccion();
    } catch (const ErrorComponente &e) {
        revertir();
        return falloDeBase(e);
    }

    // One commit, so one moment, user and machine for every row; asking the system
    // for them once per row cost more than the updates themselves.
    const Anotacion comun = nuevaAnotacion(direccionDe(oDAM), {}, {}, {}, QStringLiteral("lote"));
    QList<Anotacion> anotados;
    anotados.reserve(qsizetype(cambios.size()));
    for (const Revision *r : cambios) {
        Anotacion c = comun;
        c.posicion = r->posicion;
        c.anterior = r->actual;
        c.nueva = r->nueva;
        anotados.append(std::move(c));
    }
    const auto aviso = anotarEnBitacora(anotados);
    guardadosYAnotados = !aviso;

    mostrarRevision(revisiones);
    if (Interrupcion::pedida())
        avisar(QStringLiteral("Ctrl+C llegó con los cambios ya enviados a la base de datos: quedaron guardados."));
    avisar(QStringLiteral("Cambios guardados: %1.").arg(cambios.size()));
    if (aviso) {
        avisar(*aviso);
        return estado::kSinBitacora;
    }
    return estado::kHecho;
}

int lote(const QString &nombre, bool aplicar)
{
    const LecturaCompleta leido = leerArchivo(nombre);
    const bool entrada = nombre == QLatin1String("-");
    const QString queLeer = entrada ? QStringLiteral("la entrada estándar") : QStringLiteral("el archivo ") + nombre;
    if (leido.pasaDelLimite) {
        avisar(QStringLiteral("telquin: %1: el lote supera los 64 MiB")
                   .arg(entrada ? QStringLiteral("la entrada estándar") : nombre));
        return estado::kUso;
    }
    if (leido.error)
        return errorDeUso(
            QStringLiteral("no se puede leer %1: %2").arg(queLeer, motivoDelSistema(leido.error, Acceso::Lectura)));
    const ArchivoLote archivo = leerLote(leido.datos);
    if (!archivo.error.isEmpty())
        return errorDeUso(QStringLiteral("no se puede leer %1: %2").arg(queLeer, archivo.error));

    const auto oDAM = abrirComponente();
    Transacciones *t = nullptr;
    if (aplicar) {
        t = dynamic_cast<Transacciones *>(oDAM.get());
        if (!t) {
            avisar(QStringLiteral("El componente de datos no admite transacciones, y un lote se guarda entero o "
                                  "no se guarda: no se aplica fila por fila. ")
                   + kNadaGuardado);
            return estado::kFalloDeBase;
        }
    }

    const Interrupcion interrupcion;
    Progreso progreso;
    const qsizetype total = qsizetype(archivo.filas.size());
    std::vector<Revision> revisiones;
    try {
        // Checked inside the transaction, so that on SQLite no other writer comes
        // between a row's lookup and its update.
        if (t)
            t->comenzarTransaccion();
        progreso.etapa(QStringLiteral("Revisadas"), total);
        revisiones = revisarLote(*oDAM, archivo.filas, [&](qsizetype hechas) {
            progreso.avanzar(hechas);
            return !Interrupcion::pedida();
        });
    } catch (const ErrorComponente &e) {
        if (t)
            t->revertirTransaccion();
        progreso.borrar();
        return falloDeBase(e);
    }
    progreso.borrar();
    if (Interrupcion::pedida())
        return interrumpido(t);

    if (!t)
        return mostrarRevision(revisiones) > 0 ? estado::kProblemaDeDatos : estado::kHecho;
    const auto conErrores = [](const Revision &r) { return esError(r.resultado); };
    if (const qsizetype errores = std::count_if(revisiones.cbegin(), revisiones.cend(), conErrores)) {
        t->revertirTransaccion();
        mostrarRevision(revisiones);
        avisar(QStringLiteral("%1 de las %2 filas tienen errores y el lote no se aplica. ").arg(errores).arg(total)
               + kNadaGuardado);
        return estado::kProblemaDeDatos;
    }
    // The check's lines wait for the commit and the journal, so that what befalls
    // standard output cannot come between a change and its line in the journal.
    return aplicarLote(*oDAM, *t, revisiones);
}

int historial(const QString &posicion)
{
    const QString ruta = rutaBitacora();
    Salida &s = salida();
    for (const QString &columna : columnasBitacora())
        s.campo(columna);
    s.finDeLinea();
    bool saltadas = false;
    const std::optional<QString> error = recorrerBitacora(
        ruta, posicion,
        [&](const Anotacion &c) {
            s.linea({fechaBitacora(c.fecha), c.usuario, c.equipo, c.base, c.posicion, c.anterior, c.nueva, c.origen});
            return errorDeSalida() == 0;
        },
        [&](int, const QString &motivo) {
            saltadas = true;
            avisar(QStringLiteral("telquin: registro de cambios %1: %2").arg(ruta, motivo));
        });
    if (error) {
        avisar(QStringLiteral("telquin: registro de cambios %1: %2").arg(ruta, *error));
        return estado::kUso;
    }
    return saltadas ? estado::kProblemaDeDatos : estado::kHecho;
}

struct Orden {
    const char *nombre;
    int minimo;
    int maximo;
    const char *uso;
};

constexpr Orden kOrdenes[] = {
    {"consultar", 1, 1, "consultar POSICION"},
    {"cambiar", 2, 2, "cambiar POSICION UNIDAD"},
    {"lote", 1, 1, "lote ARCHIVO [--aplicar]"},
    {"historial", 0, 1, "historial [POSICION]"},
};

// The command's status, once what it left for standard output is written.
int conSalidaEscrita(int estadoDeLaOrden)
{
    if (salida().volcar())
        return estadoDeLaOrden;
    QString mensaje = QStringLiteral("telquin: no se pudo escribir la salida: ")
        + motivoDelSistema(errorDeSalida(), Acceso::Escritura);
    if (guardadosYAnotados)
        mensaje += QStringLiteral("\nLos cambios están guardados y anotados en el registro.");
    avisar(mensaje);
    // A journal not written (4), a database that failed (3) or Ctrl+C (130) say more.
    return estadoDeLaOrden == estado::kHecho || estadoDeLaOrden == estado::kProblemaDeDatos ? estado::kSinSalida
                                                                                            : estadoDeLaOrden;
}

int ejecutarOrden(const QString &nombre, const QStringList &argumentos, bool aplicar)
{
    try {
        if (nombre == QLatin1String("consultar"))
            return consultar(argumentos[1]);
        if (nombre == QLatin1String("cambiar"))
            return cambiar(argumentos[1], argumentos[2]);
        if (nombre == QLatin1String("lote"))
            return lote(argumentos[1], aplicar);
        return historial(argumentos.value(1));
    } catch (const ErrorComponente &e) {
        return falloDeBase(e, nombre == QLatin1String("lote") ? QString() : argumentos.value(1));
    }
}

} // namespace

int ejecutarLinea(int argc, char **argv)
{
    terminarEnTuberiaCerrada(true);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Telquin"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TELQUIN_VERSION));

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
    terminarEnTuberiaCerrada(nombre != QLatin1String("cambiar") && !aplicar);
    return conSalidaEscrita(ejecutarOrden(nombre, argumentos, aplicar));
}
