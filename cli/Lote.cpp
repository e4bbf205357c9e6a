// SPDX-License-Identifier: GPL-3.0-or-later
// telquin lote ARCHIVO [--aplicar]: a batch checked, and stored when asked.

#include "operaciones/Lote.h"
#include "archivos/Sistema.h"
#include "cli/Linea.h"
#include "cli/Ordenes.h"
#include "operaciones/Textos.h"

#include <QFile>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr qint64 kLoteMaximo = 64 * 1024 * 1024;
const QString kAplicar = QStringLiteral("aplicar");

// The batch's bytes. Standard input or a device is read no further than one byte
// past the limit, so that /dev/zero is not read until memory runs out.
LecturaCompleta leerArchivo(const QString &nombre, int descriptorDeEntrada)
{
    const bool entrada = nombre == QLatin1String("-");
    const int fd = entrada ? descriptorDeEntrada : ::open(QFile::encodeName(nombre).constData(), O_RDONLY | O_CLOEXEC);
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

// The check's lines on standard output and the count of each outcome on standard
// error.
void mostrarRevision(Contexto &contexto, const Revisiones &revisiones)
{
    std::array<qsizetype, kResultados.size()> cuentas{};
    Salida &s = contexto.salida;
    for (qsizetype i = 0; i < revisiones.size(); ++i) {
        const VistaRevision r = revisiones.vista(i);
        s.numero(r.linea);
        for (const QStringView campo :
             {r.posicion, r.actual, r.nueva, QStringView(nombreDeResultado(r.resultado)), QStringView(r.nota)})
            s.campo(campo);
        s.finDeLinea();
        ++cuentas[std::size_t(r.resultado)];
    }
    QStringList resumen;
    for (const Resultado r : kResultados)
        resumen << QStringLiteral("%1: %2").arg(nombreDeResultado(r)).arg(cuentas[std::size_t(r)]);
    avisar(contexto, resumen.join(u'\t'));
}

// The status of a batch, once its lines and what became of it are told. The lines
// come out only when the check is complete, and with --aplicar only once the
// transaction has ended, so that what befalls standard output cannot come between a
// change and its line in the journal.
int informar(Contexto &contexto, const Interrupciones &interrupcion, const ResultadoLote &r, qsizetype total)
{
    if (r.revisado)
        mostrarRevision(contexto, r.revisiones);
    switch (r.fin) {
    case FinDeLote::Revisado:
        return r.errores > 0 ? estado::kProblemaDeDatos : estado::kHecho;
    case FinDeLote::ConErrores:
        avisar(contexto,
               QStringLiteral("telquin: %1 de las %2 filas tienen errores y el lote no se aplica. ")
                       .arg(r.errores)
                       .arg(total)
                   + kNadaGuardado);
        return estado::kProblemaDeDatos;
    case FinDeLote::SinCambiarFila: {
        const Revision fila = r.revisiones[r.sinCambiarFila];
        avisar(contexto,
               QStringLiteral("telquin: ") + errorActualizando(fila.posicion)
                   + QStringLiteral(" (línea %1; el lote no se aplica)").arg(fila.linea));
        return estado::kProblemaDeDatos;
    }
    case FinDeLote::Interrumpido:
        avisar(contexto, QStringLiteral("telquin: Interrumpido.") + nadaGuardado(contexto));
        return estado::porSenal(interrupcion.senal());
    case FinDeLote::Incierto:
        avisar(contexto, QStringLiteral("telquin: ") + kDesenlaceIncierto);
        return estado::kDesenlaceIncierto;
    case FinDeLote::FalloDeBase:
        try {
            std::rethrow_exception(r.fallo);
        } catch (const ErrorComponente &e) {
            return falloDeBase(contexto, e);
        }
    case FinDeLote::SinTransacciones:
        avisar(contexto,
               QStringLiteral("telquin: El componente de datos no admite transacciones, y un lote se guarda entero o "
                              "no se guarda: no se aplica fila por fila. ")
                   + kNadaGuardado);
        return estado::kFalloDeBase;
    case FinDeLote::Guardado:
        break;
    }
    contexto.guardadosYAnotados = !r.avisoBitacora;
    const int senal = interrupcion.senal();
    if (senal)
        avisar(contexto,
               QStringLiteral("telquin: ") + Interrupcion::nombreDeSenal(senal)
                   + (r.avisoBitacora
                          ? QStringLiteral(" llegó con los cambios ya enviados a la base de datos: quedaron "
                                           "guardados.")
                          : QStringLiteral(" llegó con los cambios ya enviados a la base de datos: quedaron "
                                           "guardados y anotados.")));
    avisar(contexto, QStringLiteral("telquin: Cambios guardados: %1.").arg(r.guardados));
    if (r.avisoBitacora) {
        avisar(contexto, QStringLiteral("telquin: ") + *r.avisoBitacora);
        return estado::kSinBitacora;
    }
    return senal ? estado::porSenal(senal) : estado::kHecho;
}

int lote(Contexto &contexto, const Pedido &pedido)
{
    const QString &nombre = pedido.argumentos[0];
    const LecturaCompleta leido = leerArchivo(nombre, contexto.entrada);
    const bool entrada = nombre == QLatin1String("-");
    const QString queLeer = entrada ? QStringLiteral("la entrada estándar") : QStringLiteral("el archivo ") + nombre;
    if (leido.pasaDelLimite) {
        avisar(contexto,
               QStringLiteral("telquin: %1: el lote supera los 64 MiB")
                   .arg(entrada ? QStringLiteral("la entrada estándar") : nombre));
        return estado::kUso;
    }
    if (leido.error)
        return errorDeUso(
            contexto,
            QStringLiteral("no se puede leer %1: %2").arg(queLeer, motivoDelSistema(leido.error, Acceso::Lectura)));
    const ArchivoLote archivo = leerLote(leido.datos);
    if (!archivo.error.isEmpty())
        return errorDeUso(contexto, QStringLiteral("no se puede leer %1: %2").arg(queLeer, archivo.error));

    const auto oDAM = contexto.componente();
    const auto interrupcion = contexto.vigilar();
    Progreso progreso(contexto.conProgreso, contexto.errores);
    const Seguimiento seguimiento = seguimientoDe(progreso, *interrupcion, *oDAM);
    ResultadoLote resultado;
    try {
        OpcionesDeLote opciones;
        opciones.aplicar = pedido.tiene(kAplicar);
        // The per-row road, kept to measure the chunked one against it.
        opciones.porFila = qEnvironmentVariableIntValue("TELQUIN_LOTE_POR_FILA") == 1;
        resultado = procesarLote(*oDAM, archivo.filas, opciones, seguimiento);
    } catch (const ErrorComponente &e) {
        progreso.borrar();
        return falloDeBase(contexto, e);
    }
    progreso.borrar();
    return informar(contexto, *interrupcion, resultado, qsizetype(archivo.filas.size()));
}

} // namespace

Orden ordenLote()
{
    return {QStringLiteral("lote"),
            {{QStringLiteral("ARCHIVO"), Clase::Archivo}},
            {{kAplicar, QStringLiteral("guarda los cambios revisados"), true}},
            QStringLiteral("revisa un lote de cambios (y lo guarda)"),
            QStringLiteral("ARCHIVO es un CSV de dos columnas, posición y unidad,\n"
                           "separadas por \",\" o \";\", en UTF-8; \"-\" lee la entrada\n"
                           "estándar. Si el primer campo de la primera línea es\n"
                           "\"posicion\", esa línea es el encabezado.\n"
                           "Sin --aplicar no escribe nada en la base: revisa cada fila y\n"
                           "escribe línea, posición, unidad actual, unidad nueva,\n"
                           "resultado y nota. Resultados: cambia, igual, no encontrada,\n"
                           "formato incorrecto, unidad incorrecta, repetida (la misma\n"
                           "posición con otra unidad en otra fila). Al final, la cuenta\n"
                           "de cada resultado por la salida de errores.\n"
                           "Con --aplicar revisa igual y, si todas las filas son \"cambia\"\n"
                           "o \"igual\", guarda los cambios en una sola transacción: todos\n"
                           "o ninguno."),
            false,
            lote};
}
