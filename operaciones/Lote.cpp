// SPDX-License-Identifier: GPL-3.0-or-later
#include "operaciones/Lote.h"

#include "codes/Codigos.h"
#include "data/Sentencias.h"
#include "operaciones/Cambio.h"
#include "operaciones/Decision.h"

#include <algorithm>

namespace {

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

// What the rows of the positions hold, in the order given, a chunk at a time or one
// position at a time.
bool leer(Componente &oDAM, FilasEnBloque *bloques, Revisiones &r, Unidades &unidades, const std::vector<qint32> &orden,
          bool bloquear, Recorrido &recorrido)
{
    const auto anotar = [&](qint32 posicion, qint32 unidad) {
        Revisiones::Posicion &p = r.posiciones[std::size_t(posicion)];
        p.actual = p.anterior = unidad;
    };
    const qsizetype filas = r.size();
    if (!bloques)
        return recorrido.recorrer(qsizetype(orden.size()), filas, 1, [&](qsizetype i, qsizetype) {
            const qint32 p = orden[std::size_t(i)];
            const UnidadLeida leida = ConsultarUnidad(oDAM, textoDe(r, p).toString());
            anotar(p, leida.encontrada ? unidades.leida(leida.valor) : -1);
        });
    return recorrido.recorrer(
        qsizetype(orden.size()), filas, recorrido.filasPorTrozo, [&](qsizetype desde, qsizetype hasta) {
            std::vector<PositionKey> claves;
            claves.reserve(std::size_t(hasta - desde));
            for (qsizetype i = desde; i < hasta; ++i)
                claves.push_back(cortarPosicion(crudo(textoDe(r, orden[std::size_t(i)]))));
            const std::vector<std::optional<QVariant>> leidas = bloques->consultarUnidades(claves, bloquear);
            for (qsizetype i = desde; i < hasta; ++i) {
                const std::optional<QVariant> &unidad = leidas[std::size_t(i - desde)];
                anotar(orden[std::size_t(i)], unidad ? unidades.leida(*unidad) : -1);
            }
        });
}

// The positions that change, in the order their rows were locked. Called only when no
// row has an error, so all the rows of a position change or none does.
std::vector<qint32> aCambiar(const Revisiones &r, const std::vector<qint32> &enOrden)
{
    std::vector<qint32> cambios;
    for (const qint32 p : enOrden)
        if (r.filas[r.posiciones[std::size_t(p)].fila].resultado == Resultado::Cambia)
            cambios.push_back(p);
    return cambios;
}

// Updates the rows that change; the first position whose update changed nothing, or
// none. Row by row, each row is read again just before its update, so that the journal
// notes the unit the update replaced.
std::optional<qint32> actualizar(Componente &oDAM, FilasEnBloque *bloques, Revisiones &r, Unidades &unidades,
                                 const std::vector<qint32> &cambios, Recorrido &recorrido)
{
    std::optional<qint32> sinCambiar;
    const qsizetype total = qsizetype(cambios.size());
    if (!bloques) {
        recorrido.recorrer(total, total, 1, [&](qsizetype i, qsizetype) {
            if (sinCambiar)
                return;
            const qint32 indice = cambios[std::size_t(i)];
            Revisiones::Posicion &p = r.posiciones[std::size_t(indice)];
            const QString posicion = textoDe(r, indice).toString();
            const UnidadLeida leida = ConsultarUnidad(oDAM, posicion);
            if (leida.encontrada)
                p.anterior = unidades.leida(leida.valor);
            const QString &unidad = r.unidades[p.pedida];
            if (filasCambiadas(oDAM, ActualizarUnidad(oDAM, posicion, unidad), posicion, unidad) <= 0)
                sinCambiar = indice;
        });
        return sinCambiar;
    }
    recorrido.recorrer(total, total, recorrido.filasPorTrozo, [&](qsizetype desde, qsizetype hasta) {
        if (sinCambiar)
            return;
        std::vector<std::pair<PositionKey, QString>> trozo;
        trozo.reserve(std::size_t(hasta - desde));
        for (qsizetype i = desde; i < hasta; ++i) {
            const qint32 p = cambios[std::size_t(i)];
            trozo.emplace_back(cortarPosicion(crudo(textoDe(r, p))), r.unidades[r.posiciones[std::size_t(p)].pedida]);
        }
        const std::vector<qlonglong> filas = bloques->actualizarUnidades(trozo);
        for (qsizetype i = desde; i < hasta && !sinCambiar; ++i)
            if (filas[std::size_t(i - desde)] <= 0)
                sinCambiar = cambios[std::size_t(i)];
    });
    return sinCambiar;
}

QList<Anotacion> anotaciones(const Componente &oDAM, const Revisiones &r, const std::vector<qint32> &cambios)
{
    // One commit, so one moment, user and machine for every row; asking the system
    // for them once per row cost more than the updates themselves.
    const Anotacion comun = nuevaAnotacion(direccionDe(oDAM), {}, {}, {}, QStringLiteral("lote"));
    QList<Anotacion> lista;
    lista.reserve(qsizetype(cambios.size()));
    for (const qint32 indice : cambios) {
        const Revisiones::Posicion &p = r.posiciones[std::size_t(indice)];
        Anotacion a = comun;
        // The list is gone before the batch's text is.
        a.posicion = crudo(textoDe(r, indice));
        a.anterior = r.unidades[p.anterior];
        a.nueva = r.unidades[p.pedida];
        lista.append(std::move(a));
    }
    return lista;
}

// While it lives, a request to stop may also stop the statement that is running.
class Cancelable {
public:
    explicit Cancelable(const Seguimiento &s) : s_(s) { s_.cancelable(true); }
    ~Cancelable() { terminar(); }
    Cancelable(const Cancelable &) = delete;
    Cancelable &operator=(const Cancelable &) = delete;
    void terminar() { s_.cancelable(false); }

private:
    const Seguimiento &s_;
};

// One try of --aplicar, all inside one transaction, which it leaves open only when
// it raises.
void intentar(Componente &oDAM, Transacciones &t, FilasEnBloque *bloques, const FilasLote &filas, Recorrido &recorrido,
              ResultadoLote &r)
{
    const Seguimiento &s = recorrido.seguimiento;
    Unidades unidades(r.revisiones.unidades);
    clasificar(filas, r.revisiones, unidades);
    const std::vector<qint32> posiciones = ordenarPorClave(r.revisiones);
    // Waiting to begin (another writer holds the SQLite file) may be stopped too.
    Cancelable cancelable(s);
    t.comenzarTransaccion();
    s.etapa(QStringLiteral("Revisadas"), filas.size());
    if (!leer(oDAM, bloques, r.revisiones, unidades, posiciones, true, recorrido)) {
        t.revertirTransaccion();
        r.fin = FinDeLote::Interrumpido;
        return;
    }
    decidir(r.revisiones);
    r.revisado = true;
    r.errores = contarErrores(r.revisiones);
    if (r.errores > 0) {
        t.revertirTransaccion();
        r.fin = FinDeLote::ConErrores;
        return;
    }

    std::vector<qint32> cambios = aCambiar(r.revisiones, posiciones);
    s.etapa(QStringLiteral("Guardadas"), qsizetype(cambios.size()));
    const std::optional<qint32> sinCambiar = actualizar(oDAM, bloques, r.revisiones, unidades, cambios, recorrido);
    // A request to stop that comes later finds the commit sent, and waits for it.
    cancelable.terminar();
    if (sinCambiar || recorrido.interrumpido || s.interrumpir()) {
        t.revertirTransaccion();
        r.fin = sinCambiar ? FinDeLote::SinCambiarFila : FinDeLote::Interrumpido;
        if (sinCambiar)
            r.sinCambiarFila = r.revisiones.posiciones[std::size_t(*sinCambiar)].fila;
        return;
    }
    t.confirmarTransaccion();
    r.fin = FinDeLote::Guardado;
    r.guardados = qsizetype(cambios.size());
    // The journal takes them in the file's order, as the user wrote them: positions
    // are numbered by the first row that names them.
    std::sort(cambios.begin(), cambios.end());
    r.avisoBitacora = anotarEnBitacora(anotaciones(oDAM, r.revisiones, cambios));
}

constexpr int kIntentos = 3;

ResultadoLote aplicar(Componente &oDAM, Transacciones &t, FilasEnBloque *bloques, const FilasLote &filas,
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

ResultadoLote procesarLote(Componente &oDAM, const FilasLote &filas, const OpcionesDeLote &opciones,
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
    Revisiones &revisiones = r.revisiones;
    Unidades unidades(revisiones.unidades);
    clasificar(filas, revisiones, unidades);
    // Looked up in the order of the rows that first name them.
    std::vector<qint32> orden(revisiones.posiciones.size());
    std::iota(orden.begin(), orden.end(), 0);
    seguimiento.etapa(QStringLiteral("Revisadas"), filas.size());
    bool leidasTodas = false;
    try {
        const Cancelable cancelable(seguimiento);
        leidasTodas = leer(oDAM, bloques, revisiones, unidades, orden, false, recorrido);
    } catch (const ErrorComponente &) {
        if (!seguimiento.interrumpir())
            throw;
    }
    if (!leidasTodas || seguimiento.interrumpir()) {
        r.fin = FinDeLote::Interrumpido;
        return r;
    }
    decidir(revisiones);
    r.revisado = true;
    r.errores = contarErrores(r.revisiones);
    return r;
}
