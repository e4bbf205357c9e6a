// SPDX-License-Identifier: GPL-3.0-or-later
// What the command line's commands share: messages, the component, the state of
// their changes.

#include "cli/Linea.h"
#include "cli/Ordenes.h"
#include "cli/Salida.h"
#include "data/Clases.h"
#include "operaciones/Textos.h"

#include <cstdio>

namespace {

bool guardados = false;
bool puedeGuardar = false;

} // namespace

void avisar(const QString &mensaje)
{
    // What was written before the message comes out before it.
    (void)salida().volcar();
    // Each line after the first is indented: every line on standard error either starts
    // with the program's name or carries on the one before.
    QStringList lineas = mensaje.split(u'\n');
    for (qsizetype i = 1; i < lineas.size(); ++i)
        if (!lineas[i].isEmpty())
            lineas[i].prepend(QStringLiteral("  "));
    const QByteArray texto = lineas.join(u'\n').toUtf8() + '\n';
    std::fwrite(texto.constData(), 1, size_t(texto.size()), stderr);
    std::fflush(stderr);
}

int errorDeUso(const QString &mensaje)
{
    avisar(kPrefijo + mensaje + QStringLiteral("\nPruebe «telquin --help» para más información."));
    return estado::kUso;
}

int falloDeBase(const ErrorComponente &error, const QString &posicion)
{
    QString queOcurrio = dynamic_cast<const ErrorDeConfiguracion *>(&error)
        ? QStringLiteral("Error en la configuración.")
        : QStringLiteral("Falló la base de datos.");
    if (const auto *pasajera = dynamic_cast<const ErrorOcupado *>(&error)) {
        const AvisoDeCondicion aviso = avisoDeCondicion(pasajera->condicion(), posicion);
        queOcurrio = aviso.queOcurrio + u' ' + aviso.queHacer;
    }
    avisar(kPrefijo + queOcurrio + nadaGuardado() + u'\n' + error.mensaje());
    return estado::kFalloDeBase;
}

std::unique_ptr<Componente> abrirComponente()
{
    auto oDAM = CrearObjeto(kClaseDAM);
    oDAM->loadparameters();
    return oDAM;
}

void marcarQuePuedeGuardar(bool puede) { puedeGuardar = puede; }

QString nadaGuardado() { return puedeGuardar ? u' ' + kNadaGuardado : QString(); }

void marcarGuardadosYAnotados(bool estan) { guardados = estan; }

bool guardadosYAnotados() { return guardados; }
