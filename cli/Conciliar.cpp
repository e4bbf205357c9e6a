// SPDX-License-Identifier: GPL-3.0-or-later
// telquin conciliar [--lote ARCHIVO]: the table compared with the official list, and
// the batch that brings its units in line.

#include "archivos/Sistema.h"
#include "cli/Linea.h"
#include "cli/Ordenes.h"
#include "lista/ListaOficial.h"
#include "operaciones/Conciliacion.h"

#include <QSaveFile>

namespace {

const QString kLote = QStringLiteral("lote");

// The counts, in the order of the classes, as the batch's check gives its own.
void contar(Contexto &contexto, const ResultadoConciliacion &r)
{
    QStringList cuentas;
    for (const Diferencia d : kDiferencias)
        cuentas << QStringLiteral("%1: %2").arg(nombreDeDiferencia(d)).arg(r.cuentas[std::size_t(d)]);
    avisar(contexto, cuentas.join(u'\t'));
    if (!r.tablaListada)
        avisar(contexto,
               QStringLiteral("telquin: el componente de datos no da todas las filas de una consulta: no se buscaron "
                              "las filas de la tabla que no figuran en la lista."));
}

int conciliar(Contexto &contexto, const Pedido &pedido)
{
    const std::unique_ptr<ListaOficial> lista = listaNecesaria(contexto);
    if (!lista)
        return estado::kUso;
    // The batch file is opened first, so that a path that cannot be written is told
    // before the database is read; it takes its name only once whole.
    std::unique_ptr<QSaveFile> archivoLote;
    if (pedido.tiene(kLote)) {
        archivoLote = std::make_unique<QSaveFile>(pedido.valor(kLote));
        if (!archivoLote->open(QIODevice::WriteOnly))
            return errorDeUso(contexto,
                              QStringLiteral("no se puede escribir el lote %1: %2")
                                  .arg(pedido.valor(kLote), archivoLote->errorString()));
    }

    const auto oDAM = contexto.componente();
    const auto interrupcion = contexto.vigilar();
    Progreso progreso(contexto.conProgreso, contexto.errores);
    const Seguimiento seguimiento = seguimientoDe(progreso, *interrupcion, *oDAM);
    ResultadoConciliacion r;
    try {
        OpcionesDeConciliacion opciones;
        // The per-row road, kept to measure the chunked one against it.
        opciones.porFila = qEnvironmentVariableIntValue("TELQUIN_LOTE_POR_FILA") == 1;
        r = ::conciliar(*oDAM, *lista, opciones, seguimiento);
    } catch (const ErrorComponente &e) {
        progreso.borrar();
        return falloDeBase(contexto, e);
    }
    progreso.borrar();
    if (r.interrumpida) {
        avisar(contexto, QStringLiteral("telquin: Interrumpido."));
        return estado::porSenal(interrupcion->senal());
    }

    if (archivoLote) {
        const QByteArray lote = loteDeConciliacion(r);
        if (archivoLote->write(lote) != lote.size() || !archivoLote->commit()) {
            avisar(contexto,
                   QStringLiteral("telquin: no se puede escribir el lote %1: %2")
                       .arg(pedido.valor(kLote), archivoLote->errorString()));
            return estado::kUso;
        }
    }
    Salida &s = contexto.salida;
    for (const LineaDeConciliacion &l : r.lineas) {
        s.campo(nombreDeDiferencia(l.diferencia));
        s.campo(sinControles(l.posicion));
        s.campo(sinControles(l.tabla));
        s.campo(sinControles(l.oficial));
        s.finDeLinea();
    }
    contar(contexto, r);
    return r.coinciden() ? estado::kHecho : estado::kProblemaDeDatos;
}

} // namespace

Orden ordenConciliar()
{
    return {QStringLiteral("conciliar"),
            {},
            {{kLote, QStringLiteral("escribe el lote de las unidades oficiales"), false,
              Argumento{QStringLiteral("ARCHIVO"), Clase::Archivo}}},
            QStringLiteral("compara la tabla con la lista oficial"),
            QStringLiteral("Compara cada fila de la tabla con la lista oficial importada\n"
                           "(telquin lista importar ARCHIVO) y escribe una línea por\n"
                           "diferencia, ordenadas por posición: clase, posición, unidad\n"
                           "de la tabla y unidad oficial. Clases: unidad distinta, no\n"
                           "figura en la lista (una fila de la tabla que la lista no\n"
                           "tiene), falta en la tabla (una posición de la lista que la\n"
                           "tabla no tiene). Al final, la cuenta de cada clase por la\n"
                           "salida de errores. Solo lee la base de datos.\n"
                           "Con --lote ARCHIVO escribe además las filas de unidad\n"
                           "distinta como un lote (posicion;unidad, con la unidad\n"
                           "oficial) que telquin lote ARCHIVO --aplicar toma tal cual."),
            false,
            conciliar};
}
