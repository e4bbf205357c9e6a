// SPDX-License-Identifier: GPL-3.0-or-later
#include "operaciones/Decision.h"

#include "codes/Codigos.h"
#include "data/Sentencias.h"

#include <algorithm>
#include <numeric>

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

VistaRevision Revisiones::vista(qsizetype fila) const
{
    const Fila &f = filas[std::size_t(fila)];
    VistaRevision v;
    v.linea = archivo.linea(fila);
    v.posicion = archivo.campo(fila, 0);
    v.nueva = unidades[f.nueva];
    v.resultado = f.resultado;
    if (f.posicion >= 0) {
        const Posicion &p = posiciones[std::size_t(f.posicion)];
        const qint32 actual = p.fila == quint32(fila) ? p.anterior : p.actual;
        if (actual >= 0)
            v.actual = unidades[actual];
    }
    v.nota = pistaLetraDeControl(crudo(v.posicion));
    return v;
}

Revision Revisiones::operator[](qsizetype fila) const
{
    const VistaRevision v = vista(fila);
    return Revision{v.linea, v.posicion.toString(), v.actual.toString(), v.nueva.toString(), v.resultado, v.nota};
}

namespace {

bool conFormato(const FilasLote &filas, qsizetype fila)
{
    for (qsizetype i = 2, n = filas.campos(fila); i < n; ++i)
        if (!filas.campo(fila, i).isEmpty())
            return false;
    return esPosicionValida(crudo(filas.campo(fila, 0)));
}

} // namespace

// Each row's unit and position, each well written position once, in the order of the
// rows that first name it; the results still to be decided.
void clasificar(const FilasLote &filas, Revisiones &r, Unidades &unidades)
{
    r.archivo = filas;
    r.filas.reserve(std::size_t(filas.size()));
    QHash<QStringView, qint32> indices;
    for (qsizetype i = 0; i < filas.size(); ++i) {
        Revisiones::Fila f{-1, unidades.escrita(filas.campo(i, 1)), Resultado::FormatoIncorrecto};
        if (conFormato(filas, i)) {
            const QStringView posicion = filas.campo(i, 0);
            auto entrada = indices.find(posicion);
            if (entrada == indices.end()) {
                entrada = indices.insert(posicion, qint32(r.posiciones.size()));
                r.posiciones.push_back(Revisiones::Posicion{quint32(i)});
            }
            f.posicion = *entrada;
        }
        r.filas.push_back(f);
    }
    r.posiciones.shrink_to_fit();
}

QStringView textoDe(const Revisiones &r, qint32 posicion)
{
    return r.archivo.campo(r.posiciones[std::size_t(posicion)].fila, 0);
}

namespace {

// A position written as "8901.10.00.000L", its digits and letter as one number: for two
// of that shape the numbers' order is the texts' order, and far cheaper to compare.
// Zero for any other shape.
quint64 comoNumero(QStringView posicion)
{
    static constexpr char16_t kForma[] = u"9999.99.99.999";
    if (posicion.size() != 15)
        return 0;
    quint64 numero = 0;
    for (qsizetype i = 0; i < 14; ++i) {
        const char16_t c = posicion[i].unicode();
        if (kForma[i] == u'.') {
            if (c != u'.')
                return 0;
        } else if (c >= u'0' && c <= u'9') {
            numero = numero * 10 + (c - u'0');
        } else {
            return 0;
        }
    }
    return (numero << 16 | posicion[14].unicode()) + 1;
}

} // namespace

// The positions in the order their rows are locked: by key, so that two batches never
// wait on each other in turn. The key's three parts have fixed widths in a well written
// position, so the position's own order is the key's.
std::vector<qint32> ordenarPorClave(const Revisiones &r)
{
    struct Clave {
        quint64 numero;
        QStringView texto;
        qint32 posicion;
    };
    std::vector<Clave> claves;
    claves.reserve(r.posiciones.size());
    for (qint32 i = 0; i < qint32(r.posiciones.size()); ++i) {
        const QStringView texto = textoDe(r, i);
        claves.push_back(Clave{comoNumero(texto), texto, i});
    }
    std::sort(claves.begin(), claves.end(), [](const Clave &a, const Clave &b) {
        return a.numero && b.numero ? a.numero < b.numero : a.texto < b.texto;
    });
    std::vector<qint32> orden;
    orden.reserve(claves.size());
    for (const Clave &c : claves)
        orden.push_back(c.posicion);
    return orden;
}

// Each row's result from what the lookups read, in file order.
void decidir(Revisiones &r)
{
    for (std::size_t i = 0; i < r.filas.size(); ++i) {
        Revisiones::Fila &f = r.filas[i];
        if (f.posicion < 0)
            continue;
        Revisiones::Posicion &p = r.posiciones[std::size_t(f.posicion)];
        if (p.fila == i)
            p.pedida = f.nueva;
        else if (p.pedida != f.nueva)
            p.repetida = true;
        f.resultado = p.actual < 0                 ? Resultado::NoEncontrada
            : !esUnidadValida(r.unidades[f.nueva]) ? Resultado::UnidadIncorrecta
            : p.actual == f.nueva                  ? Resultado::Igual
                                                   : Resultado::Cambia;
    }
    for (Revisiones::Fila &f : r.filas)
        if (!esError(f.resultado) && r.posiciones[std::size_t(f.posicion)].repetida)
            f.resultado = Resultado::Repetida;
}

qsizetype contarErrores(const Revisiones &r)
{
    return std::count_if(r.filas.cbegin(), r.filas.cend(),
                         [](const Revisiones::Fila &f) { return esError(f.resultado); });
}
