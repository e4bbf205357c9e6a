// SPDX-License-Identifier: GPL-3.0-or-later
#include "operaciones/Conciliacion.h"

#include "codes/Codigos.h"
#include "data/Sentencias.h"
#include "lista/ListaOficial.h"
#include "operaciones/Decision.h"

#include <QSet>

#include <algorithm>
#include <utility>

const QString &nombreDeDiferencia(Diferencia d)
{
    // In the order of Diferencia.
    static const QString nombres[] = {
        QStringLiteral("unidad distinta"),
        QStringLiteral("no figura en la lista"),
        QStringLiteral("falta en la tabla"),
    };
    return nombres[std::size_t(d)];
}

namespace {

struct Oficial {
    QString posicion;
    QString unidad;
};

bool antes(const Oficial &a, const Oficial &b) { return a.posicion < b.posicion; }

// The list's positions in the order the lines are written, so that each row of the
// table finds whether the list has it by bisection.
std::vector<Oficial> leerLista(const ListaOficial &lista)
{
    std::vector<Oficial> oficiales;
    lista.recorrer([&](const QString &posicion, const QString &unidad) { oficiales.push_back({posicion, unidad}); });
    if (!std::is_sorted(oficiales.begin(), oficiales.end(), antes))
        std::sort(oficiales.begin(), oficiales.end(), antes);
    return oficiales;
}

bool enLaLista(const std::vector<Oficial> &oficiales, const QString &posicion)
{
    const auto i = std::lower_bound(oficiales.begin(), oficiales.end(), Oficial{posicion, {}}, antes);
    return i != oficiales.end() && i->posicion == posicion;
}

// The position a row's key stands for: the inverse of the key cut, the third dot put
// back.
QString posicionDe(const PositionKey &clave) { return clave.primero + u'.' + clave.segundo + clave.tercero; }

void anotar(ResultadoConciliacion &r, Diferencia d, QString posicion, QString tabla, QString oficial)
{
    r.lineas.push_back({d, std::move(posicion), std::move(tabla), std::move(oficial)});
    ++r.cuentas[std::size_t(d)];
}

// Compares each position of the list with what its row holds, read a chunk at a time
// or one position at a time. False when asked to stop first.
bool compararLista(Componente &oDAM, FilasEnBloque *bloques, const std::vector<Oficial> &oficiales, qsizetype porTrozo,
                   const Seguimiento &s, ResultadoConciliacion &r)
{
    const auto comparar = [&](const Oficial &o, const std::optional<QVariant> &leida) {
        if (!leida)
            anotar(r, Diferencia::FaltaEnLaTabla, o.posicion, {}, o.unidad);
        else if (!o.unidad.isEmpty() && codigoDeUnidad(*leida) != o.unidad)
            anotar(r, Diferencia::UnidadDistinta, o.posicion, textoDeUnidad(*leida), o.unidad);
    };
    const qsizetype total = qsizetype(oficiales.size());
    const qsizetype paso = bloques ? porTrozo : 1;
    for (qsizetype desde = 0; desde < total; desde += paso) {
        if (s.interrumpir())
            return false;
        const qsizetype hasta = std::min(total, desde + paso);
        if (bloques) {
            std::vector<PositionKey> claves;
            claves.reserve(std::size_t(hasta - desde));
            for (qsizetype i = desde; i < hasta; ++i)
                claves.push_back(cortarPosicion(oficiales[std::size_t(i)].posicion));
            const std::vector<std::optional<QVariant>> leidas = bloques->consultarUnidades(claves, false);
            for (qsizetype i = desde; i < hasta; ++i)
                comparar(oficiales[std::size_t(i)], leidas[std::size_t(i - desde)]);
        } else {
            const Oficial &o = oficiales[std::size_t(desde)];
            const UnidadLeida leida = ConsultarUnidad(oDAM, o.posicion);
            comparar(o, leida.encontrada ? std::optional(leida.valor) : std::nullopt);
        }
        s.avance(hasta);
    }
    return true;
}

// The rows of the table whose position the list lacks, each position once.
void buscarAjenas(const std::vector<FilaDeTabla> &filas, const std::vector<Oficial> &oficiales,
                  ResultadoConciliacion &r)
{
    QSet<QString> vistas;
    for (const FilaDeTabla &fila : filas) {
        QString posicion = posicionDe(fila.clave);
        if (enLaLista(oficiales, posicion) || vistas.contains(posicion))
            continue;
        vistas.insert(posicion);
        anotar(r, Diferencia::NoFiguraEnLaLista, std::move(posicion), textoDeUnidad(fila.unidad), {});
    }
}

// What stops the batch's statements stops these: on while the database is read.
class Cancelable {
public:
    explicit Cancelable(const Seguimiento &s) : s_(s) { s_.cancelable(true); }
    ~Cancelable() { s_.cancelable(false); }
    Cancelable(const Cancelable &) = delete;
    Cancelable &operator=(const Cancelable &) = delete;

private:
    const Seguimiento &s_;
};

} // namespace

ResultadoConciliacion conciliar(Componente &oDAM, const ListaOficial &lista, const OpcionesDeConciliacion &opciones,
                                const Seguimiento &seguimiento)
{
    auto *bloques = opciones.porFila ? nullptr : dynamic_cast<FilasEnBloque *>(&oDAM);
    if (bloques && !bloques->admiteBloques())
        bloques = nullptr;
    const std::vector<Oficial> oficiales = leerLista(lista);
    ResultadoConciliacion r;
    seguimiento.etapa(QStringLiteral("Comparadas"), qsizetype(oficiales.size()));
    bool completa = false;
    try {
        const Cancelable cancelable(seguimiento);
        completa
            = compararLista(oDAM, bloques, oficiales, std::max<qsizetype>(1, opciones.filasPorTrozo), seguimiento, r);
        if (completa && !seguimiento.interrumpir()) {
            const std::optional<std::vector<FilaDeTabla>> filas = ListarClavesDeTabla(oDAM);
            r.tablaListada = filas.has_value();
            if (filas)
                buscarAjenas(*filas, oficiales, r);
        }
    } catch (const ErrorComponente &) {
        // A request to stop stops the statement too: its failure is the stop.
        if (!seguimiento.interrumpir())
            throw;
    }
    if (!completa || seguimiento.interrumpir()) {
        ResultadoConciliacion detenida;
        detenida.interrumpida = true;
        return detenida;
    }
    // Positions of the table and of the list differ, so no position has two lines.
    std::sort(r.lineas.begin(), r.lineas.end(),
              [](const LineaDeConciliacion &a, const LineaDeConciliacion &b) { return a.posicion < b.posicion; });
    return r;
}

namespace {

// A field as the batch reader takes it back, quoted when it holds the separator, a
// quote or a line end.
void agregarCampo(QByteArray &destino, const QString &campo)
{
    const bool citar = std::any_of(campo.cbegin(), campo.cend(),
                                   [](QChar c) { return c == u';' || c == u'"' || c == u'\r' || c == u'\n'; });
    if (!citar) {
        destino += campo.toUtf8();
        return;
    }
    destino += '"';
    destino += QString(campo).replace(u'"', QStringLiteral("\"\"")).toUtf8();
    destino += '"';
}

} // namespace

QByteArray loteDeConciliacion(const ResultadoConciliacion &r)
{
    QByteArray lote("posicion;unidad\n");
    for (const LineaDeConciliacion &l : r.lineas) {
        if (l.diferencia != Diferencia::UnidadDistinta)
            continue;
        agregarCampo(lote, l.posicion);
        lote += ';';
        agregarCampo(lote, l.oficial);
        lote += '\n';
    }
    return lote;
}
