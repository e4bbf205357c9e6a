// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the program's own files need from the system: descriptors, folders, reading,
// and the system's reasons for a failure in the user's words.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>

// A descriptor closed at the end of its scope, or earlier by cerrar().
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) { }
    ~Descriptor();
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    [[nodiscard]] int fd() const { return fd_; }
    // 0 or the errno of close(2).
    int cerrar();

private:
    int fd_;
};

// Makes the folder and those above it that are missing, readable by the user only.
// 0 or the errno of the folder that could not be made.
[[nodiscard]] int crearCarpetas(const QByteArray &carpeta);

// Called with each block read; false stops the reading.
using AlBloque = std::function<bool(QByteArrayView bloque)>;
// Reads fd to its end, or to `limite` bytes, a block at a time. 0 or the errno.
[[nodiscard]] int leerBloques(int fd, qint64 limite, const AlBloque &alBloque);

struct LecturaCompleta {
    QByteArray datos;
    int error = 0; // errno of a failed read
    bool pasaDelLimite = false; // more than the limit; no data then
};
// Everything fd holds, up to `limite` bytes. A regular file known to be larger is
// not read; anything else (a pipe, /dev/zero) is read no further than one byte past
// the limit.
[[nodiscard]] LecturaCompleta leerHasta(int fd, qint64 limite);

enum class Acceso { Lectura, Escritura };

struct ArchivoAbierto {
    int fd = -1;
    int error = 0; // errno of open(2), when it failed
    QString motivo; // why it is not used, in Spanish; empty when fd is open
};
enum class Enlaces { Seguir, Rechazar };
// Opens ruta with open(2)'s `modo`, never blocking (a FIFO with no writer, a device),
// and keeps it only when it is a regular file: anything else is closed again and
// told as «no es un archivo común», a symbolic link as «es un enlace simbólico» when
// links are refused. The caller closes fd.
[[nodiscard]] ArchivoAbierto abrirArchivoComun(const QString &ruta, int modo, Acceso acceso, Enlaces enlaces);

// Why a file could not be read or written, from errno, in Spanish; an errno without
// a text of its own reads "error del sistema N (the C library's text)".
[[nodiscard]] QString motivoDelSistema(int error, Acceso acceso);
