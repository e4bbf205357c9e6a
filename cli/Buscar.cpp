// SPDX-License-Identifier: GPL-3.0-or-later
// telquin buscar PALABRAS... [--max N]: the official list's positions that the words
// find, or those under a position's start.

#include "cli/Linea.h"
#include "cli/Ordenes.h"
#include "codes/Unidades.h"

#include <limits>

namespace {

const QString kMaximo = QStringLiteral("max");
constexpr int kMaximoPorOmision = 20;

// The start of a position ("8536.90", "5408.22.00.1", "5408.22.00.111f"), as the list
// writes it; the heading form "63.05" stands for "6305". Empty when it is not one.
QString inicioDePosicion(const QString &texto)
{
    static const QString kForma = QStringLiteral("DDDD.DD.DD.DDDL");
    QString inicio = texto.toUpper();
    if (inicio.size() == 5 && inicio[2] == u'.' && inicio[0].isDigit() && inicio[1].isDigit() && inicio[3].isDigit()
        && inicio[4].isDigit())
        inicio.remove(2, 1);
    if (inicio.isEmpty() || inicio.size() > kForma.size() || inicio.endsWith(u'.'))
        return {};
    for (qsizetype i = 0; i < inicio.size(); ++i) {
        const QChar c = inicio[i];
        const bool bien = kForma[i] == u'D' ? c >= u'0' && c <= u'9'
            : kForma[i] == u'.'             ? c == u'.'
                                            : c >= u'A' && c <= u'Z';
        if (!bien)
            return {};
    }
    return inicio;
}

int buscar(Contexto &contexto, const Pedido &pedido)
{
    int maximo = kMaximoPorOmision;
    if (pedido.tiene(kMaximo)) {
        bool numero = false;
        maximo = pedido.valor(kMaximo).toInt(&numero);
        if (!numero || maximo <= 0)
            return errorDeUso(
                contexto, QStringLiteral("--max espera un número mayor que cero, no «%1»").arg(pedido.valor(kMaximo)));
    }
    const std::unique_ptr<ListaOficial> lista = listaNecesaria(contexto);
    if (!lista)
        return estado::kUso;
    const QString palabras = pedido.argumentos.join(u' ');
    const QString inicio = pedido.argumentos.size() == 1 ? inicioDePosicion(palabras) : QString();
    std::vector<Partida> halladas;
    try {
        // One more than asked, to tell that there are more.
        const int pedidas = maximo < std::numeric_limits<int>::max() ? maximo + 1 : maximo;
        halladas = inicio.isEmpty() ? lista->buscar(palabras, pedidas) : lista->bajo(inicio, pedidas);
    } catch (const ErrorDeLista &e) {
        avisar(contexto, kPrefijo + e.mensaje());
        return estado::kUso;
    }
    if (halladas.empty()) {
        avisar(contexto, kPrefijo + QStringLiteral("La lista oficial no tiene ninguna posición que coincida."));
        return estado::kProblemaDeDatos;
    }
    const bool hayMas = halladas.size() > std::size_t(maximo);
    if (hayMas)
        halladas.resize(std::size_t(maximo));
    for (const Partida &p : halladas)
        contexto.salida.linea({p.posicion, p.unidad, descripcionDeUnidad(p.unidad), p.descripcionCompleta()});
    if (hayMas)
        avisar(contexto, kPrefijo + QStringLiteral("Hay más posiciones; --max N muestra hasta N."));
    return estado::kHecho;
}

} // namespace

Orden ordenBuscar()
{
    return {QStringLiteral("buscar"),
            {{QStringLiteral("PALABRAS"), Clase::Texto, false, true}},
            {{kMaximo, QStringLiteral("escribe hasta N posiciones (20 si no se da)"), false,
              Argumento{QStringLiteral("N"), Clase::Texto}}},
            QStringLiteral("busca posiciones en la lista oficial"),
            QStringLiteral("Escribe las posiciones de la lista oficial que coinciden con\n"
                           "las palabras, las mejores primero: posición, unidad oficial,\n"
                           "nombre de la unidad y descripción con sus encabezados. No\n"
                           "distingue mayúsculas ni acentos, y una palabra vale como\n"
                           "comienzo de otra. Una posición o su comienzo (8536.90) da\n"
                           "las posiciones que abarca, en el orden de la lista."),
            false,
            buscar};
}
