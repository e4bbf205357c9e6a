// SPDX-License-Identifier: GPL-3.0-or-later
// What the command line's commands share: messages, the component, the reading of
// their declarations.

#include "cli/Linea.h"
#include "cli/Ordenes.h"
#include "data/Clases.h"
#include "operaciones/Textos.h"

#include <algorithm>
#include <limits>

void avisar(Contexto &contexto, const QString &mensaje)
{
    // What was written before the message comes out before it.
    (void)contexto.salida.volcar();
    // Each line after the first is indented: every line on standard error either starts
    // with the program's name or carries on the one before.
    QStringList lineas = mensaje.split(u'\n');
    for (qsizetype i = 1; i < lineas.size(); ++i)
        if (!lineas[i].isEmpty())
            lineas[i].prepend(QStringLiteral("  "));
    // Nothing is left to tell a failure to.
    const QByteArray texto = lineas.join(u'\n').toUtf8() + '\n';
    (void)contexto.errores.escribir(texto);
}

int errorDeUso(Contexto &contexto, const QString &mensaje)
{
    avisar(contexto, kPrefijo + mensaje + QStringLiteral("\nPruebe «telquin --help» para más información."));
    return estado::kUso;
}

int falloDeBase(Contexto &contexto, const ErrorComponente &error, const QString &posicion)
{
    QString queOcurrio = dynamic_cast<const ErrorDeConfiguracion *>(&error)
        ? QStringLiteral("Error en la configuración.")
        : QStringLiteral("Falló la base de datos.");
    if (const auto *pasajera = dynamic_cast<const ErrorOcupado *>(&error)) {
        const AvisoDeCondicion aviso = avisoDeCondicion(pasajera->condicion(), posicion);
        queOcurrio = aviso.queOcurrio + u' ' + aviso.queHacer;
    }
    avisar(contexto, kPrefijo + queOcurrio + nadaGuardado(contexto) + u'\n' + error.mensaje());
    return estado::kFalloDeBase;
}

std::unique_ptr<Componente> abrirComponente()
{
    auto oDAM = CrearObjeto(kClaseDAM);
    oDAM->loadparameters();
    return oDAM;
}

QString nadaGuardado(const Contexto &contexto) { return contexto.puedeGuardar ? u' ' + kNadaGuardado : QString(); }

QString Pedido::de(const Orden &orden, Clase clase) const
{
    for (std::size_t i = 0; i < orden.argumentos.size(); ++i)
        if (orden.argumentos[i].clase == clase)
            return argumentos.value(qsizetype(i));
    return {};
}

QString Orden::titulo() const { return palabra.isEmpty() ? nombre : nombre + u' ' + palabra; }

QString Orden::uso() const
{
    QString texto = titulo();
    for (const Argumento &a : argumentos) {
        const QString n = a.repetido ? a.nombre + QStringLiteral("...") : a.nombre;
        texto += a.opcional ? QStringLiteral(" [%1]").arg(n) : u' ' + n;
    }
    for (const OpcionDeOrden &o : opciones)
        texto += o.valor ? QStringLiteral(" [--%1 %2]").arg(o.nombre, o.valor->nombre)
                         : QStringLiteral(" [--%1]").arg(o.nombre);
    return texto;
}

qsizetype Orden::maximo() const
{
    if (!argumentos.empty() && argumentos.back().repetido)
        return std::numeric_limits<qsizetype>::max();
    return qsizetype(argumentos.size());
}

qsizetype Orden::minimo() const
{
    return qsizetype(
        std::count_if(argumentos.begin(), argumentos.end(), [](const Argumento &a) { return !a.opcional; }));
}

bool Orden::guardaCon(const Pedido &pedido) const
{
    return guarda || std::any_of(opciones.begin(), opciones.end(), [&](const OpcionDeOrden &o) {
               return o.guarda && pedido.tiene(o.nombre);
           });
}

const std::vector<Orden> &ordenes()
{
    static const std::vector<Orden> todas{ordenConsultar(), ordenCambiar(),       ordenLote(),   ordenHistorial(),
                                          ordenLista(),     ordenListaImportar(), ordenBuscar(), ordenConciliar()};
    return todas;
}

std::unique_ptr<ListaOficial> listaNecesaria(Contexto &contexto)
{
    try {
        std::unique_ptr<ListaOficial> lista = contexto.lista();
        if (!lista)
            avisar(contexto, kPrefijo + kSinLista);
        return lista;
    } catch (const ErrorDeLista &e) {
        avisar(contexto, kPrefijo + e.mensaje());
        return nullptr;
    }
}

Seguimiento seguimientoDe(Progreso &progreso, Interrupciones &interrupcion, Componente &oDAM)
{
    Seguimiento seguimiento;
    seguimiento.etapa = [&progreso](const QString &participio, qsizetype total) { progreso.etapa(participio, total); };
    seguimiento.avance = [&progreso](qsizetype hechas) { progreso.avanzar(hechas); };
    seguimiento.interrumpir = [&interrupcion] { return interrupcion.pedida(); };
    if (auto *bloques = dynamic_cast<FilasEnBloque *>(&oDAM))
        interrupcion.cancelarCon(bloques->cancelacion());
    seguimiento.cancelable = [&interrupcion](bool si) { interrupcion.cancelarSentencia(si); };
    return seguimiento;
}
