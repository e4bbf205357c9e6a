// SPDX-License-Identifier: GPL-3.0-or-later
// The window's module: what the program does when it starts without arguments.
#include "app/Fabrica.h"
#include "app/Modulos.h"
#include "cli/Salida.h"
#include "lista/ListaOficial.h"
#include "ui/Aplicacion.h"
#include "ui/Mensajes.h"

#include <QApplication>

#include <cstdio>
#include <type_traits>

extern "C" Q_DECL_EXPORT int telquin_entrada(int argc, char **argv)
{
    abrirDescriptoresEstandar();
    if (const QString falta = faltaDePantalla(); !falta.isEmpty()) {
        std::fputs((falta + u'\n').toUtf8().constData(), stderr);
        return 1;
    }
    QApplication app(argc, argv);
    MensajesQt mensajes;
    return ejecutarTelquin(app, mensajes, fabricaDelPrograma(), ListaOficial::enUso);
}
static_assert(std::is_same_v<decltype(&telquin_entrada), EntradaDeModulo>);
