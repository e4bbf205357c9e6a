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

namespace {

using Leidas = QHash<QString, UnidadLeida>;

bool camposDeMas(const FilaLote &fila)
{
    return std::any_of(fila.campos.cbegin() + std::min<qsizetype>(2, fila.campos.size()), fila.campos.cend(),
                       [](const QString &c) { return !c.isEmpty(); });
}

bool conFormato(const FilaLote &fila) { return !camposDeMas(fila) && esPosicionValida(fila.campos.value(0)); }

// The positions a check looks up: each well written one once, in file order.
QStringList posicionesABuscar(const std::vector<FilaLote> &filas)
{
    QStringList posiciones;
    QSet<QString> vistas;
    for (const FilaLote &fila : filas) {
        const QString posicion = fila.campos.value(0);
        if (conFormato(fila) && !vistas.contains(posicion)) {
            vistas.insert(posicion);
            posiciones << posicion;
        }
    }
    return posiciones;
}

// The same positions in the order their rows are locked: by key, so that two batches
// never wait on each other in turn. The key's three parts have fixed widths in a well
// written position, so the position's own order is the key's.
void ordenarPorClave(QStringList &posiciones) { std::sort(posiciones.begin(), posiciones.end()); }

// Each row's result from what the lookups read, in file order.
std::vector<Revision> decidir(const std::vector<FilaLote> &filas, const Leidas &leidas)
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
        if (!conFormato(fila)) {
            r.resultado = Resultado::FormatoIncorrecto;
        } else {
            const auto entrada = unidades.find(r.posicion);
            if (entrada == unidades.end())
                unidades.insert(r.posicion, {r.nueva, false});
            else if (entrada->first != r.nueva)
                entrada->second = true;
            const UnidadLeida leida = leidas.value(r.posicion);
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

struct Recorrido {
    const Seguimiento &seguimiento;
    qsizetype filasPorTrozo;
    bool interrumpido = false;

    // Calls hacer(desde, hasta) on each piece of `total` items, reporting progress
    // as `filas` rows in all; false when asked to stop before a piece.
    template <typename Hacer>
    bool recorrer(qsizetype total, qsizetype filas, qsizetype porPieza, Hacer &&hacer)
    {
        for (qsizetype desde = 0; desde < total; desde += porPieza) {
            if (seguimiento.interrumpir()) {
                interrumpido = true;
                return false;
            }
            const qsizetype hasta = std::min(total, desde + porPieza);
            hacer(desde, hasta);
            seguimiento.avance(total == 0 ? filas : filas * hasta / total);
        }
        return true;
    }
};

// What the rows of the positions hold, a chunk at a time or one position at a time.
bool leer(Componente &oDAM, FilasEnBloque *bloques, const QStringList &posiciones, bool bloquear, qsizetype filas,
          Recorrido &recorrido, Leidas &leidas)
{
    leidas.reserve(posiciones.size());
    if (!bloques)
        return recorrido.recorrer(posiciones.size(), filas, 1, [&](qsizetype i, qsizetype) {
            leidas.insert(posiciones[i], ConsultarUnidad(oDAM, posiciones[i]));
        });
    return recorrido.recorrer(posiciones.size(), filas, recorrido.filasPorTrozo, [&](qsizetype desde, qsizetype hasta) {
        std::vector<PositionKey> claves;
        claves.reserve(std::size_t(hasta - desde));
        for (qsizetype i = desde; i < hasta; ++i)
            claves.push_back(cortarPosicion(posiciones[i]));
        const std::vector<std::optional<QVariant>> unidades = bloques->consultarUnidades(claves, bloquear);
        for (qsizetype i = desde; i < hasta; ++i) {
            const std::optional<QVariant> &unidad = unidades[std::size_t(i - desde)];
            leidas.insert(posiciones[i], unidad ? UnidadLeida{true, *unidad} : UnidadLeida{});
        }
    });
}

// The rows that change, each position once, in the order their rows were locked.
std::vector<Revision *> aCambiar(std::vector<Revision> &revisiones, const QStringList &enOrden)
{
    QHash<QString, Revision *> primera;
    for (Revision &r : revisiones)
        if (r.resultado == Resultado::Cambia && !primera.contains(r.posicion))
            primera.insert(r.posicion, &r);
    std::vector<Revision *> cambios;
    cambios.reserve(std::size_t(primera.size()));
    for (const QString &posicion : enOrden)
        if (Revision *r = primera.value(posicion))
            cambios.push_back(r);
    return cambios;
}

// Updates the rows that change; the first whose update changed nothing, or none.
// Row by row, each row is read again just before its update, so that the journal
// notes the unit the update replaced.
std::optional<Revision *> actualizar(Componente &oDAM, FilasEnBloque *bloques, std::vector<Revision *> &cambios,
                                     Recorrido &recorrido)
{
    std::optional<Revision *> sinCambiar;
    const qsizetype total = qsizetype(cambios.size());
    if (!bloques) {
        recorrido.recorrer(total, total, 1, [&](qsizetype i, qsizetype) {
            Revision &r = *cambios[std::size_t(i)];
            if (sinCambiar)
                return;
            const UnidadLeida leida = ConsultarUnidad(oDAM, r.posicion);
            if (leida.encontrada)
                r.actual = textoDeUnidad(leida.valor);
            if (ActualizarUnidad(oDAM, r.posicion, r.nueva) <= 0)
                sinCambiar = &r;
        });
        return sinCambiar;
    }
    recorrido.recorrer(total, total, recorrido.filasPorTrozo, [&](qsizetype desde, qsizetype hasta) {
        if (sinCambiar)
            return;
        std::vector<std::pair<PositionKey, QString>> trozo;
        trozo.reserve(std::size_t(hasta - desde));
        for (qsizetype i = desde; i < hasta; ++i)
            trozo.emplace_back(cortarPosicion(cambios[std::size_t(i)]->posicion), cambios[std::size_t(i)]->nueva);
        const std::vector<qlonglong> filas = bloques->actualizarUnidades(trozo);
        for (qsizetype i = desde; i < hasta && !sinCambiar; ++i)
            if (filas[std::size_t(i - desde)] <= 0)
                sinCambiar = cambios[std::size_t(i)];
    });
    return sinCambiar;
}

QList<Anotacion> anotaciones(const Componente &oDAM, const std::vector<Revision *> &cambios)
{
    // One commit, so one moment, user and machine for every row; asking the system
    // for them once per row cost more than the updates themselves.
    const Anotacion comun = nuevaAnotacion(direccionDe(oDAM), {}, {}, {}, QStringLiteral("lote"));
    QList<Anotacion> lista;
    lista.reserve(qsizetype(cambios.size()));
    for (const Revision *r : cambios) {
        Anotacion a = comun;
        a.posicion = r->posicion;
        a.anterior = r->actual;
        a.nueva = r->nueva;
        lista.append(std::move(a));
    }
    return lista;
}

// While it lives, a request to stop may also stop the statement that is running.
class Cancelable {
public:
    explicit Cancelable(const Seguimiento &s)
        : s_(s)
    {
        s_.cancelable(true);
    }
    ~Cancelable() { terminar(); }
    Cancelable(const Cancelable &) = delete;
    Cancelable &operator=(const Cancelable &) = delete;
    void terminar() { s_.cancelable(false); }

private:
    const Seguimiento &s_;
};

// One try of --aplicar, all inside one transaction, which it leaves open only when
// it raises.
void intentar(Componente &oDAM, Transacciones &t, FilasEnBloque *bloques, const std::vector<FilaLote> &filas,
              Recorrido &recorrido, ResultadoLote &r)
{
    const Seguimiento &s = recorrido.seguimiento;
    Cancelable cancelable(s);
    t.comenzarTransaccion();
    QStringList posiciones = posicionesABuscar(filas);
    ordenarPorClave(posiciones);
    Leidas leidas;
    s.etapa(QStringLiteral("Revisadas"), qsizetype(filas.size()));
    if (!leer(oDAM, bloques, posiciones, true, qsizetype(filas.size()), recorrido, leidas)) {
        t.revertirTransaccion();
        r.fin = FinDeLote::Interrumpido;
        return;
    }
    r.revisiones = decidir(filas, leidas);
    r.revisado = true;
    r.errores = std::count_if(r.revisiones.cbegin(), r.revisiones.cend(),
                              [](const Revision &rev) { return esError(rev.resultado); });
    if (r.errores > 0) {
        t.revertirTransaccion();
        r.fin = FinDeLote::ConErrores;
        return;
    }

    std::vector<Revision *> cambios = aCambiar(r.revisiones, posiciones);
    s.etapa(QStringLiteral("Guardadas"), qsizetype(cambios.size()));
    const std::optional<Revision *> sinCambiar = actualizar(oDAM, bloques, cambios, recorrido);
    // A request to stop that comes later finds the commit sent, and waits for it.
    cancelable.terminar();
    if (sinCambiar || recorrido.interrumpido || s.interrumpir()) {
        t.revertirTransaccion();
        r.fin = sinCambiar ? FinDeLote::SinCambiarFila : FinDeLote::Interrumpido;
        if (sinCambiar)
            r.sinCambiarFila = *sinCambiar - r.revisiones.data();
        return;
    }
    t.confirmarTransaccion();
    r.fin = FinDeLote::Guardado;
    r.guardados = qsizetype(cambios.size());
    // The journal takes them in the file's order, as the user wrote them.
    std::sort(cambios.begin(), cambios.end());
    r.avisoBitacora = anotarEnBitacora(anotaciones(oDAM, cambios));
}

constexpr int kIntentos = 3;

ResultadoLote aplicar(Componente &oDAM, Transacciones &t, FilasEnBloque *bloques, const std::vector<FilaLote> &filas,
                      Recorrido &recorrido)
{
    for (int intento = 1;; ++intento) {
        ResultadoLote r;
        try {
            intentar(oDAM, t, bloques, filas, recorrido, r);
            return r;
        } catch (const ErrorDesenlaceIncierto &) {
            r.fin = FinDeLote::Incierto;
            return r;
        } catch (const ErrorComponente &e) {
            t.revertirTransaccion();
            // A request to stop stops the statement too: its failure is the stop.
            if (recorrido.seguimiento.interrumpir()) {
                r.fin = FinDeLote::Interrumpido;
                return r;
            }
            const auto *pasajera = dynamic_cast<const ErrorOcupado *>(&e);
            // A deadlock chose this transaction to stop; the same one a moment later
            // usually goes through.
            if (pasajera && pasajera->condicion() == CondicionPasajera::Interbloqueo && intento < kIntentos)
                continue;
            if (!r.revisado)
                throw;
            r.fin = FinDeLote::FalloDeBase;
            r.fallo = std::current_exception();
            return r;
        }
    }
}

} // namespace

ResultadoLote procesarLote(Componente &oDAM, const std::vector<FilaLote> &filas, const OpcionesDeLote &opciones,
                           const Seguimiento &seguimiento)
{
    auto *bloques = opciones.porFila ? nullptr : dynamic_cast<FilasEnBloque *>(&oDAM);
    if (bloques && !bloques->admiteBloques())
        bloques = nullptr;
    Recorrido recorrido{seguimiento, std::max<qsizetype>(1, opciones.filasPorTrozo)};
    if (opciones.aplicar) {
        auto *t = dynamic_cast<Transacciones *>(&oDAM);
        if (!t) {
            ResultadoLote r;
            r.fin = FinDeLote::SinTransacciones;
            return r;
        }
        return aplicar(oDAM, *t, bloques, filas, recorrido);
    }

    ResultadoLote r;
    Leidas leidas;
    seguimiento.etapa(QStringLiteral("Revisadas"), qsizetype(filas.size()));
    bool leidasTodas = false;
    try {
        const Cancelable cancelable(seguimiento);
        leidasTodas = leer(oDAM, bloques, posicionesABuscar(filas), false, qsizetype(filas.size()), recorrido, leidas);
    } catch (const ErrorComponente &) {
        if (!seguimiento.interrumpir())
            throw;
    }
    if (!leidasTodas || seguimiento.interrumpir()) {
        r.fin = FinDeLote::Interrumpido;
        return r;
    }
    r.revisiones = decidir(filas, leidas);
    r.revisado = true;
    r.errores = std::count_if(r.revisiones.cbegin(), r.revisiones.cend(),
                              [](const Revision &rev) { return esError(rev.resultado); });
    return r;
}
