// SPDX-License-Identifier: GPL-3.0-or-later
#include "dam/Modulos.h"

#include "data/Contrato.h"

#include <QFileInfo>
#include <QMutex>

#include <dlfcn.h>

void *funcionDeModulo(const char *archivo, const char *funcion, const QString &parte)
{
    static QMutex cerrojo;
    const QMutexLocker bloqueo(&cerrojo);
    const QString programa = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    const QString ruta
        = QFileInfo(programa).path() + QStringLiteral("/" TELQUIN_CARPETA_MODULOS "/") + QString::fromUtf8(archivo);
    // Lazily, as app/Modulos loads its modules: RTLD_NOW would bind at once every
    // function of the client library's own libraries (OpenSSL, Kerberos, LDAP).
    void *const modulo = ::dlopen(QFile::encodeName(ruta).constData(), RTLD_LAZY | RTLD_LOCAL);
    void *const entrada = modulo ? ::dlsym(modulo, funcion) : nullptr;
    if (!entrada) {
        const char *const razon = ::dlerror();
        throw ErrorComponente(QStringLiteral("No se puede cargar la parte de Telquin que trabaja con %1 (%2): %3.")
                                  .arg(parte, ruta, razon ? QString::fromLocal8Bit(razon) : QString()));
    }
    return entrada;
}
