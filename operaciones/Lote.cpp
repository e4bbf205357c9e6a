// SPDX-License-Identifier: GPL-3.0-or-later
#include "operaciones/Lote.h"

#include "archivos/Csv.h"
#include "codes/Codigos.h"
#include "data/Sentencias.h"
#include "operaciones/Cambio.h"

#include <QHash>
#include <QSet>
#include <QStringDecoder>

#include <algorithm>

namespace {

// "Posición", "POSICION", "posicion" all read "posicion".
QString sinAcentosEnMinusculas(const QString &texto)
{
    const QString descompuesto = texto.normalized(QString::NormalizationForm_D);
    QString salida;
    salida.reserve(descompuesto.size());
    for (const QChar c : descompuesto)
        if (c.category() != QChar::Mark_NonSpacing)
            salida += c.toLower();
    return salida;
}

// The first line (1-based) whose bytes are not UTF-8; LF, CRLF and CR end lines.
int lineaNoUtf8(QByteArrayView datos)
{
    int linea = 1;
    qsizetype inicio = 0;
    for (qsizetype i = 0; i <= datos.size(); ++i) {
        if (i < datos.size() && datos[i] != '\n' && datos[i] != '\r')
            continue;
        QStringDecoder decodificador(QStringDecoder::Utf8);
        // The decoding happens when the result becomes a QString.
        const QString texto = decodificador.decode(datos.sliced(inicio, i - inicio));
        if (decodificador.hasError())
            return linea;
        if (i + 1 < datos.size() && datos[i] == '\r' && datos[i + 1] == '\n')
            ++i;
        inicio = i + 1;
        ++linea;
    }
    return linea;
}

} // namespace

ArchivoLote leerLote(QByteArray datos)
{
    ArchivoLote archivo;
    if (datos.startsWith("\xEF\xBB\xBF"))
        datos.remove(0, 3);
    QStringDecoder decodificador(QStringDecoder::Utf8);
    const QString texto = decodificador.decode(datos);
    if (decodificador.hasError()) {
        archivo.error = QStringLiteral("la línea %1 no está escrita en UTF-8; guarde el archivo como CSV UTF-8")
                            .arg(lineaNoUtf8(datos));
        return archivo;
    }

    const auto finPrimera
        = std::find_if(texto.cbegin(), texto.cend(), [](QChar c) { return c == u'\n' || c == u'\r'; });
    if (std::find(texto.cbegin(), finPrimera, u';') != finPrimera)
        archivo.separador = u';';

    int sinCerrar = 0;
    for (FilaCsv &fila : partirCsv(texto, archivo.separador, true, &sinCerrar)) {
        const bool vacia
            = std::all_of(fila.campos.cbegin(), fila.campos.cend(), [](const QString &c) { return c.isEmpty(); });
        if (!vacia)
            archivo.filas.push_back(FilaLote{fila.linea, std::move(fila.campos)});
    }
    if (sinCerrar) {
        archivo.filas.clear();
        archivo.error = QStringLiteral("la línea %1 abre unas comillas que no se cierran").arg(sinCerrar);
        return archivo;
    }
    if (!archivo.filas.empty() && archivo.filas.front().linea == 1
        && sinAcentosEnMinusculas(archivo.filas.front().campos.front()) == QLatin1String("posicion")) {
        archivo.conCabecera = true;
        archivo.filas.erase(archivo.filas.begin());
    }
    return archivo;
}

const QString &nombreDeResultado(Resultado r)
{
    // In the order of Resultado.
    static const QString nombres[] = {
        QStringLiteral("cambia"),
        QStringLiteral("igual"),
        QStringLiteral("no encontrada"),
        QStringLiteral("formato incorrecto"),
        QStringLiteral("unidad incorrecta"),
        QStringLiteral("repetida"),
    };
    return nombres[std::size_t(r)];
}

std::vector<Revision> revisarLote(Componente &oDAM, const std::vector<FilaLote> &filas, const AvanceDeRevision &avance)
{
    std::vector<Revision> revisiones;
    revisiones.reserve(filas.size());
    // The first unit each position asks for, and whether another row asks for another.
    QHash<QString, std::pair<QString, bool>> unidades;
    unidades.reserve(qsizetype(filas.size()));
    for (const FilaLote &fila : filas) {
        Revision r;
        r.linea = fila.linea;
        r.posicion = fila.campos.value(0);
        r.nueva = formatearUnidad(fila.campos.value(1));
        r.nota = pistaLetraDeControl(r.posicion);
        const bool camposDeMas = std::any_of(fila.campos.cbegin() + std::min<qsizetype>(2, fila.campos.size()),
                                             fila.campos.cend(), [](const QString &c) { return !c.isEmpty(); });
        if (camposDeMas || !esPosicionValida(r.posicion)) {
            r.resultado = Resultado::FormatoIncorrecto;
        } else {
            const auto entrada = unidades.find(r.posicion);
            if (entrada == unidades.end())
                unidades.insert(r.posicion, {r.nueva, false});
            else if (entrada->first != r.nueva)
                entrada->second = true;
            const UnidadLeida leida = ConsultarUnidad(oDAM, r.posicion);
            if (!leida.encontrada) {
                r.resultado = Resultado::NoEncontrada;
            } else {
                r.actual = textoDeUnidad(leida.valor);
                r.resultado = !esUnidadValida(r.nueva) ? Resultado::UnidadIncorrecta
                    : r.actual == r.nueva              ? Resultado::Igual
                                                       : Resultado::Cambia;
            }
        }
        revisiones.push_back(std::move(r));
        if (avance && !avance(qsizetype(revisiones.size())))
            break;
    }
    for (Revision &r : revisiones) {
        if (esError(r.resultado))
            continue;
        const auto entrada = unidades.constFind(r.posicion);
        if (entrada != unidades.constEnd() && entrada->second)
            r.resultado = Resultado::Repetida;
    }
    return revisiones;
}

namespace {

// Stores the checked rows that change, each position once, inside the open
// transaction, commits, and notes them in the journal.
void aplicar(Componente &oDAM, Transacciones &t, ResultadoLote &r, const Seguimiento &seguimiento)
{
    std::vector<const Revision *> cambios;
    QSet<QString> vistas;
    for (const Revision &rev : r.revisiones)
        if (rev.resultado == Resultado::Cambia && !vistas.contains(rev.posicion)) {
            vistas.insert(rev.posicion);
            cambios.push_back(&rev);
        }

    seguimiento.etapa(QStringLiteral("Guardadas"), qsizetype(cambios.size()));
    for (std::size_t i = 0; i < cambios.size(); ++i) {
        if (seguimiento.interrumpir()) {
            t.revertirTransaccion();
            r.fin = FinDeLote::Interrumpido;
            return;
        }
        if (ActualizarUnidad(oDAM, cambios[i]->posicion, cambios[i]->nueva) <= 0) {
            t.revertirTransaccion();
            r.fin = FinDeLote::SinCambiarFila;
            r.sinCambiarFila = cambios[i] - r.revisiones.data();
            return;
        }
        seguimiento.avance(qsizetype(i + 1));
    }
    if (seguimiento.interrumpir()) {
        t.revertirTransaccion();
        r.fin = FinDeLote::Interrumpido;
        return;
    }
    t.confirmarTransaccion();
    r.fin = FinDeLote::Guardado;
    r.guardados = qsizetype(cambios.size());

    // One commit, so one moment, user and machine for every row; asking the system
    // for them once per row cost more than the updates themselves.
    const Anotacion comun = nuevaAnotacion(direccionDe(oDAM), {}, {}, {}, QStringLiteral("lote"));
    QList<Anotacion> anotaciones;
    anotaciones.reserve(qsizetype(cambios.size()));
    for (const Revision *rev : cambios) {
        Anotacion a = comun;
        a.posicion = rev->posicion;
        a.anterior = rev->actual;
        a.nueva = rev->nueva;
        anotaciones.append(std::move(a));
    }
    r.avisoBitacora = anotarEnBitacora(anotaciones);
}

} // namespace

ResultadoLote procesarLote(Componente &oDAM, const std::vector<FilaLote> &filas, bool aplicarCambios,
                           const Seguimiento &seguimiento)
{
    ResultadoLote r;
    Transacciones *t = nullptr;
    if (aplicarCambios) {
        t = dynamic_cast<Transacciones *>(&oDAM);
        if (!t) {
            r.fin = FinDeLote::SinTransacciones;
            return r;
        }
    }
    try {
        if (t)
            t->comenzarTransaccion();
        seguimiento.etapa(QStringLiteral("Revisadas"), qsizetype(filas.size()));
        r.revisiones = revisarLote(oDAM, filas, [&](qsizetype hechas) {
            seguimiento.avance(hechas);
            return !seguimiento.interrumpir();
        });
    } catch (const ErrorComponente &) {
        if (t)
            t->revertirTransaccion();
        throw;
    }
    r.revisado = r.revisiones.size() == filas.size() && !seguimiento.interrumpir();
    if (!r.revisado) {
        if (t)
            t->revertirTransaccion();
        r.fin = FinDeLote::Interrumpido;
        return r;
    }
    r.errores = std::count_if(r.revisiones.cbegin(), r.revisiones.cend(),
                              [](const Revision &rev) { return esError(rev.resultado); });
    if (!t)
        return r;
    if (r.errores > 0) {
        t->revertirTransaccion();
        r.fin = FinDeLote::ConErrores;
        return r;
    }
    try {
        aplicar(oDAM, *t, r, seguimiento);
    } catch (const ErrorComponente &) {
        t->revertirTransaccion();
        r.fin = FinDeLote::FalloDeBase;
        r.fallo = std::current_exception();
    }
    return r;
}
