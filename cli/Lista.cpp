// SPDX-License-Identifier: GPL-3.0-or-later
// telquin lista: the official list in use; telquin lista importar ARCHIVO: a new one.

#include "archivos/Bitacora.h"
#include "cli/Linea.h"
#include "cli/Ordenes.h"
#include "lista/Importacion.h"
#include "lista/Indice.h"

#include <QLocale>

namespace {

// What a list is, a field a line: what `lista` shows and `lista importar` ends with.
void mostrarDatos(Contexto &contexto, const DatosDeLista &d)
{
    const auto fila = [&](const QString &clave, const QString &valor) { contexto.salida.linea({clave, valor}); };
    const auto cuenta = [&](const QString &clave, qint64 n) { fila(clave, QString::number(n)); };
    fila(QStringLiteral("fecha"), d.fecha.isValid() ? d.fecha.toString(QStringLiteral("dd/MM/yyyy")) : QString());
    fila(QStringLiteral("archivo"), d.archivo);
    cuenta(QStringLiteral("bytes"), d.tamano);
    fila(QStringLiteral("sha256"), d.sha256);
    fila(QStringLiteral("importada"), d.importada.isValid() ? fechaBitacora(d.importada.toLocalTime()) : QString());
    cuenta(QStringLiteral("posiciones"), d.posiciones);
    cuenta(QStringLiteral("encabezados"), d.encabezados);
    cuenta(QStringLiteral("otros tipos"), d.otrosTipos);
    cuenta(QStringLiteral("ilegibles"), d.ilegibles);
    cuenta(QStringLiteral("letra de control distinta"), d.letrasDistintas);
    cuenta(QStringLiteral("unidad desconocida"), d.unidadesDesconocidas);
    fila(QStringLiteral("indice"), d.ruta);
}

int lista(Contexto &contexto, const Pedido &)
{
    std::unique_ptr<ListaOficial> enUso;
    try {
        enUso = contexto.lista();
    } catch (const ErrorDeLista &e) {
        avisar(contexto, kPrefijo + e.mensaje());
        return estado::kUso;
    }
    if (!enUso) {
        avisar(contexto, kPrefijo + kSinLista);
        return estado::kProblemaDeDatos;
    }
    mostrarDatos(contexto, enUso->datos());
    return estado::kHecho;
}

// "5, 17 y 40" and, past the first ten, how many more.
QString numerosDeLinea(const QList<qint64> &numeros, qint64 total)
{
    QStringList textos;
    for (const qint64 n : numeros)
        textos << QString::number(n);
    QString texto = textos.size() > 1 && total == textos.size()
        ? textos.first(textos.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" y ") + textos.last()
        : textos.join(QStringLiteral(", "));
    if (total > textos.size())
        texto += QStringLiteral(" y %1 más").arg(total - textos.size());
    return texto;
}

int importar(Contexto &contexto, const Pedido &pedido)
{
    const auto interrupcion = contexto.vigilar();
    Progreso progreso(contexto.conProgreso, contexto.errores);
    SeguimientoDeImportacion seguimiento;
    qint64 lineas = -1;
    seguimiento.avance = [&](qint64 hechas, qint64 total) {
        if (total != lineas)
            progreso.etapa(QStringLiteral("Leídas"), qsizetype(lineas = total));
        progreso.avanzar(qsizetype(hechas));
    };
    seguimiento.interrumpir = [&] { return interrupcion->pedida(); };
    Importada importada;
    try {
        importada = importarLista(pedido.argumentos[0], rutaPropiaDeLaLista(), seguimiento);
    } catch (const ImportacionInterrumpida &) {
        progreso.borrar();
        avisar(contexto, QStringLiteral("telquin: Interrumpido. La lista en uso no cambió."));
        return estado::porSenal(interrupcion->senal());
    } catch (const ErrorDeLista &e) {
        progreso.borrar();
        avisar(contexto, kPrefijo + e.mensaje() + QStringLiteral(". La lista en uso no cambió."));
        return estado::kUso;
    }
    progreso.borrar();
    const DatosDeLista &d = importada.datos;
    mostrarDatos(contexto, d);
    if (d.ilegibles > 0)
        avisar(contexto,
               kPrefijo
                   + (d.ilegibles == 1 ? QStringLiteral("1 línea no se pudo leer: la %1.")
                                       : QStringLiteral("%2 líneas no se pudieron leer: %1.").arg(d.ilegibles))
                         .arg(numerosDeLinea(importada.ilegibles, d.ilegibles)));
    if (d.letrasDistintas > 0)
        avisar(contexto,
               kPrefijo
                   + QStringLiteral("%1 posiciones tienen una letra de control que no es la que dan sus dígitos.")
                         .arg(d.letrasDistintas));
    if (d.unidadesDesconocidas > 0)
        avisar(contexto,
               kPrefijo
                   + QStringLiteral("%1 posiciones tienen una unidad que no está en la tabla de unidades oficiales.")
                         .arg(d.unidadesDesconocidas));
    return estado::kHecho;
}

} // namespace

Orden ordenLista()
{
    return {QStringLiteral("lista"),
            {},
            {},
            QStringLiteral("muestra la lista oficial en uso"),
            QStringLiteral("Escribe, un dato por línea, la fecha de la lista oficial en\n"
                           "uso, su archivo, su tamaño, su SHA-256, cuándo se importó,\n"
                           "las cuentas de la importación y dónde está su índice. Sin\n"
                           "lista, lo dice, con la orden que importa una."),
            false,
            lista};
}

Orden ordenListaImportar()
{
    Orden orden{QStringLiteral("lista"),
                {{QStringLiteral("ARCHIVO"), Clase::Archivo}},
                {},
                QStringLiteral("importa la lista oficial publicada"),
                QStringLiteral("ARCHIVO es el nomenclador publicado (nomenclador_DDMMAAAA.txt)\n"
                               "o el zip que lo trae. La lista nueva reemplaza entera a la\n"
                               "anterior, que sigue en uso si la importación falla o se\n"
                               "interrumpe. Escribe lo mismo que lista y avisa de las\n"
                               "líneas que no pudo leer."),
                false,
                importar};
    orden.palabra = QStringLiteral("importar");
    return orden;
}
