// SPDX-License-Identifier: GPL-3.0-or-later
#include "archivos/Sistema.h"

#include <QFile>
#include <QHash>
#include <QtGlobal>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

Descriptor::~Descriptor()
{
    if (fd_ >= 0)
        ::close(fd_);
}

int Descriptor::cerrar()
{
    const int resultado = ::close(fd_);
    fd_ = -1;
    return resultado == 0 ? 0 : errno;
}

int crearCarpetas(const QByteArray &carpeta)
{
    if (::mkdir(carpeta.constData(), 0700) == 0 || errno == EEXIST)
        return 0;
    if (errno != ENOENT)
        return errno;
    const qsizetype barra = carpeta.lastIndexOf('/');
    if (barra <= 0)
        return ENOENT;
    if (const int error = crearCarpetas(carpeta.left(barra)))
        return error;
    return ::mkdir(carpeta.constData(), 0700) == 0 || errno == EEXIST ? 0 : errno;
}

int leerBloques(int fd, qint64 limite, const AlBloque &alBloque)
{
    char bloque[65536];
    qint64 leidos = 0;
    while (leidos < limite) {
        const ssize_t n = ::read(fd, bloque, size_t(std::min<qint64>(sizeof bloque, limite - leidos)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            break;
        leidos += n;
        if (!alBloque(QByteArrayView(bloque, n)))
            break;
    }
    return 0;
}

LecturaCompleta leerHasta(int fd, qint64 limite)
{
    LecturaCompleta leida;
    struct stat estado { };
    const bool regular = ::fstat(fd, &estado) == 0 && S_ISREG(estado.st_mode);
    if (regular && estado.st_size > limite) {
        leida.pasaDelLimite = true;
        return leida;
    }
    // A file's size known, its bytes go in one buffer of that size (and a little for
    // what it may have grown), not in one doubled as it fills, whose old and new
    // copies would both be alive at the peak.
    if (regular)
        leida.datos.reserve(qsizetype(estado.st_size) + 4096);
    leida.error = leerBloques(fd, limite + 1, [&](QByteArrayView bloque) {
        leida.datos.append(bloque);
        return true;
    });
    if (leida.datos.size() > limite) {
        leida.pasaDelLimite = true;
        leida.datos.clear();
    }
    return leida;
}

ArchivoAbierto abrirArchivoComun(const QString &ruta, int modo, Acceso acceso, Enlaces enlaces)
{
    const QByteArray nombre = QFile::encodeName(ruta);
    const bool seguir = enlaces == Enlaces::Seguir;
    // What is at ruta, when it is no file to open: looked at before opening too, since
    // merely opening some devices does something (a tape rewinds).
    const auto queEs = [&]() -> QString {
        struct stat estado { };
        if ((seguir ? ::stat(nombre.constData(), &estado) : ::lstat(nombre.constData(), &estado)) != 0)
            return {};
        if (S_ISLNK(estado.st_mode))
            return QStringLiteral("es un enlace simbólico");
        if (!S_ISREG(estado.st_mode) && !S_ISDIR(estado.st_mode))
            return QStringLiteral("no es un archivo común");
        return {};
    };
    ArchivoAbierto abierto;
    abierto.motivo = queEs();
    if (!abierto.motivo.isEmpty())
        return abierto;
    abierto.fd = ::open(nombre.constData(), modo | (seguir ? 0 : O_NOFOLLOW) | O_NONBLOCK | O_CLOEXEC, 0600);
    if (abierto.fd < 0) {
        abierto.error = errno;
        abierto.motivo = queEs();
        if (abierto.motivo.isEmpty())
            abierto.motivo = motivoDelSistema(abierto.error, acceso);
        return abierto;
    }
    // It may have changed between the look and the opening.
    struct stat estado { };
    if (::fstat(abierto.fd, &estado) != 0)
        abierto.motivo = motivoDelSistema(errno, acceso);
    else if (!S_ISREG(estado.st_mode))
        abierto.motivo
            = S_ISDIR(estado.st_mode) ? motivoDelSistema(EISDIR, acceso) : QStringLiteral("no es un archivo común");
    if (!abierto.motivo.isEmpty()) {
        ::close(abierto.fd);
        abierto.fd = -1;
    }
    return abierto;
}

QString motivoDelSistema(int error, Acceso acceso)
{
    if (error == EACCES || error == EPERM)
        return acceso == Acceso::Lectura ? QStringLiteral("no hay permiso para leerlo")
                                         : QStringLiteral("no hay permiso para escribir");
    static const QHash<int, const char *> motivos{
        {ENOENT, "no existe"},
        {ENOSPC, "no queda espacio en el disco"},
        {EDQUOT, "se agotó la cuota de disco del usuario"},
        {EISDIR, "es una carpeta, no un archivo"},
        {EROFS, "el sistema de archivos es de solo lectura"},
        {ENOTDIR, "una parte de la ruta no es una carpeta"},
        {EIO, "error de entrada/salida del disco"},
        {EAGAIN, "no está disponible en este momento"},
        {EBADF, "el descriptor de archivo está cerrado o no es válido"},
        {EINVAL, "el archivo no admite la operación"},
        {EPIPE, "el programa que leía del otro lado de la tubería la cerró"},
        {ELOOP, "hay demasiados enlaces simbólicos en la ruta"},
        {ENXIO, "el dispositivo no existe o no hay nadie del otro lado"},
        {ENODEV, "el dispositivo no admite la operación"},
        {EFBIG, "el archivo superaría el tamaño máximo permitido"},
        {EMFILE, "el programa tiene demasiados archivos abiertos"},
        {ENFILE, "el sistema tiene demasiados archivos abiertos"},
        {ENOMEM, "no hay memoria suficiente"},
        {ENAMETOOLONG, "el nombre del archivo es demasiado largo"},
        {ETXTBSY, "el archivo es un programa que se está ejecutando"},
        {EEXIST, "ya existe"},
        {EINTR, "la operación fue interrumpida"},
        {EOPNOTSUPP, "el sistema de archivos no admite la operación"},
        {ETIMEDOUT, "se agotó el tiempo de espera"},
        {ESTALE, "el archivo de red ya no está disponible"},
        {ECONNRESET, "se cortó la conexión"},
    };
    if (const char *motivo = motivos.value(error))
        return QString::fromUtf8(motivo);
    return QStringLiteral("error del sistema %1 (%2)").arg(error).arg(qt_error_string(error));
}
