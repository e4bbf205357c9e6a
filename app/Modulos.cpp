// SPDX-License-Identifier: GPL-3.0-or-later
// Plain C library calls only: the program must not need libstdc++, whose loading
// belongs to the modules.
#include "app/Modulos.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace {

// The module's path: the running program's folder, links resolved (~/.local/bin/telquin
// is a link to the build tree's program), then TELQUIN_CARPETA_MODULOS and the name.
// False when it does not fit.
bool rutaDelModulo(const char *nombre, char (&ruta)[PATH_MAX])
{
    const ssize_t largo = ::readlink("/proc/self/exe", ruta, sizeof ruta - 1);
    if (largo <= 0)
        return false;
    ruta[largo] = '\0';
    char *barra = std::strrchr(ruta, '/');
    if (!barra)
        return false;
    *barra = '\0';
    const std::size_t carpeta = std::strlen(ruta);
    const int escrito = std::snprintf(ruta + carpeta, sizeof ruta - carpeta, "/%s/%s", TELQUIN_CARPETA_MODULOS, nombre);
    return escrito > 0 && std::size_t(escrito) < sizeof ruta - carpeta;
}

} // namespace

int ejecutarModulo(const char *nombre, int argc, char **argv)
{
    char ruta[PATH_MAX];
    if (!rutaDelModulo(nombre, ruta)) {
        std::fprintf(stderr, "telquin: no se encuentra la carpeta del programa para cargar %s\n", nombre);
        return 1;
    }
    // Lazily, as the libraries a program links are bound: RTLD_NOW would bind every
    // function of every library the module brings, libstdc++ and ICU included, at load.
    // The module itself and Qt's libraries are linked with -z now and bound at load
    // all the same.
    void *modulo = ::dlopen(ruta, RTLD_LAZY | RTLD_LOCAL);
    const auto entrada = modulo ? reinterpret_cast<EntradaDeModulo>(::dlsym(modulo, kEntradaDeModulo)) : nullptr;
    if (!entrada) {
        std::fprintf(stderr, "telquin: no se pudo cargar una parte del programa: %s\n", ::dlerror());
        return 1;
    }
    // Never unloaded: Qt keeps pointers into it until the program ends.
    return entrada(argc, argv);
}
