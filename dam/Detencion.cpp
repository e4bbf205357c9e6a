// SPDX-License-Identifier: GPL-3.0-or-later
#include "dam/Detencion.h"

#include <algorithm>
#include <ctime>

int esperarArchivoOcupado(void *datos, int veces)
{
    auto &parada = *static_cast<Detencion *>(datos);
    const auto ahora = std::chrono::steady_clock::now();
    if (veces == 0)
        parada.desde = ahora;
    if (parada.pedida || ahora - parada.desde >= parada.espera)
        return 0;
    const auto pausa = std::min<std::chrono::steady_clock::duration>(std::chrono::milliseconds(std::min(veces + 1, 20)),
                                                                     parada.desde + parada.espera - ahora);
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(pausa).count();
    timespec espera{time_t(ns / 1000000000), long(ns % 1000000000)};
    (void)::nanosleep(&espera, nullptr);
    return 1;
}
