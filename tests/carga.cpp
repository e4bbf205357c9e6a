// SPDX-License-Identifier: GPL-3.0-or-later
// Stands in for one user: looks one position up and stores a unit, again and again,
// through the bundled component, pausing between statements as a person would.
//   telquin_carga POSICION VECES UNIDAD...
// Each round looks the position up and stores the next unit of the list. When another
// user holds the table longer than the component waits (ErrorOcupado), it waits a
// moment and tries the same statement again, as the window tells a person to do.
// Prints one line on standard output once the first update is stored. Exits 0 when
// every statement ran and every update changed the row.

#include "dam/ComponenteDAM.h"
#include "data/Clases.h"
#include "data/Sentencias.h"

#include <QCoreApplication>
#include <QRandomGenerator>
#include <QStringList>
#include <QThread>

#include <cstdio>

namespace {

constexpr int kIntentos = 20;

void pausa(int desdeMs, int hastaMs) { QThread::msleep(QRandomGenerator::global()->bounded(desdeMs, hastaMs)); }

template <typename Paso>
auto insistir(Paso &&paso)
{
    for (int intento = 1;; ++intento) {
        try {
            return paso();
        } catch (const ErrorOcupado &) {
            if (intento == kIntentos)
                throw;
            pausa(50, 250);
        }
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    registrarComponenteDAM();
    const QStringList args = app.arguments().mid(1);
    if (args.size() < 3) {
        std::fprintf(stderr, "uso: telquin_carga POSICION VECES UNIDAD...\n");
        return 2;
    }
    const QString posicion = args[0];
    const int veces = args[1].toInt();
    const QStringList unidades = args.mid(2);
    try {
        const auto oDAM = CrearObjeto(kClaseDAM);
        oDAM->loadparameters();
        int noEncontradas = 0;
        const Avisador contar = [&](const QString &) { ++noEncontradas; };
        for (int i = 0; i < veces; ++i) {
            (void)insistir([&] { return GetUnidEst(*oDAM, posicion, contar); });
            pausa(1, 8);
            if (!insistir([&] { return EjecutarUpdate(*oDAM, posicion, unidades[i % unidades.size()]); })) {
                std::fprintf(stderr, "la actualización %d no cambió ninguna fila\n", i);
                return 1;
            }
            if (i == 0) {
                std::puts("primera actualización guardada");
                std::fflush(stdout);
            }
            pausa(1, 8);
        }
        if (noEncontradas > 0) {
            std::fprintf(stderr, "%d consultas no encontraron la posición\n", noEncontradas);
            return 1;
        }
    } catch (const ErrorComponente &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
