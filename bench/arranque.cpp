// SPDX-License-Identifier: GPL-3.0-or-later
// Telquin's start-up up to the moment Frm_Telquin is shown, as the program makes it:
// telquin_arranque is the program (app/main.cpp), which loads this module as it loads
// the window's (telquin_programa, telquin_modulo). The entry is the window module's,
// but the warning is answered Yes through the message-box seam and the event loop
// ends once the window is shown. Exits 0 only when the window was shown and no box
// but the warning came up.

#include "SalirAlMostrar.h"
#include "app/Modulos.h"
#include "cli/Salida.h"
#include "dam/ComponenteDAM.h"
#include "ui/Aplicacion.h"
#include "ui/Frm_Telquin.h"
#include "ui/Mensajes.h"

#include <QApplication>

#include <cstdio>
#include <type_traits>

namespace {

class MensajesSi final : public Mensajes {
public:
    bool preguntarSiNo(const QString &, const QString &, Icono, bool) override { return true; }
    void mostrar(const QString &, const QString &texto, Icono) override
    {
        ++inesperados;
        std::fprintf(stderr, "telquin_arranque: %s\n", qPrintable(texto));
    }
    bool mostrarConBoton(const QString &titulo, const QString &texto, Icono icono, const QString &) override
    {
        mostrar(titulo, texto, icono);
        return false;
    }
    int inesperados = 0;
};

} // namespace

extern "C" Q_DECL_EXPORT int telquin_entrada(int argc, char **argv)
{
    abrirDescriptoresEstandar();
    registrarComponenteDAM();
    QApplication app(argc, argv);
    SalirAlMostrar<Frm_Telquin> salir;
    app.installEventFilter(&salir);
    MensajesSi mensajes;
    const int estado = ejecutarTelquin(app, mensajes);
    if (estado != 0 || mensajes.inesperados > 0 || !salir.visto()) {
        std::fprintf(stderr, "telquin_arranque: the window was not shown (status %d)\n", estado);
        return 1;
    }
    return 0;
}
static_assert(std::is_same_v<decltype(&telquin_entrada), EntradaDeModulo>);
