// SPDX-License-Identifier: GPL-3.0-or-later
// Telquin's start-up, through the same function as app/main.cpp, up to the moment Frm_Telquin is shown:
// translations, the warning (answered Yes through the message-box seam), the
// component and its parameters, the window. Exits 0 only when the window was shown
// and no box but the warning came up.

#include "SalirAlMostrar.h"
#include "dam/ComponenteDAM.h"
#include "ui/Aplicacion.h"
#include "ui/Frm_Telquin.h"
#include "ui/Mensajes.h"

#include <QApplication>

#include <cstdio>

namespace {

class MensajesSi final : public Mensajes {
public:
    bool preguntarSiNo(const QString &, const QString &, Icono, bool) override { return true; }
    void mostrar(const QString &, const QString &texto, Icono) override
    {
        ++inesperados;
        std::fprintf(stderr, "telquin_arranque: %s\n", qPrintable(texto));
    }
    int inesperados = 0;
};

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    registrarComponenteDAM();
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
