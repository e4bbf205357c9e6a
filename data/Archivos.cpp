// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/Archivos.h"

#include <QHash>
#include <QtGlobal>

#include <cerrno>

std::vector<FilaCsv> partirCsv(QStringView texto, QChar separador, bool recortar, int *sinCerrar)
{
    std::vector<FilaCsv> filas;
    FilaCsv fila{1, {}};
    QString campo;
    qsizetype finCitado = -1; // where the quoted part of the field ended; -1: none
    bool entreComillas = false;
    bool pendiente = false; // something was read since the last line end
    int linea = 1;
    const auto terminarCampo = [&] {
        if (recortar)
            campo = finCitado < 0 ? campo.trimmed() : campo.left(finCitado) + campo.mid(finCitado).trimmed();
        fila.campos << campo;
        campo.clear();
        finCitado = -1;
    };
    const qsizetype n = texto.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = texto[i];
        pendiente = true;
        if (entreComillas) {
            if (c == u'"' && i + 1 < n && texto[i + 1] == u'"') {
                campo += c;
                ++i;
            } else if (c == u'"') {
                entreComillas = false;
                finCitado = campo.size();
            } else {
                if (c == u'\n' || (c == u'\r' && (i + 1 == n || texto[i + 1] != u'\n')))
                    ++linea;
                campo += c;
            }
        } else if (c == u'"' && finCitado < 0 && (recortar ? campo.trimmed().isEmpty() : campo.isEmpty())) {
            entreComillas = true;
            campo.clear();
        } else if (c == separador) {
            terminarCampo();
        } else if (c == u'\n' || c == u'\r') {
            if (c == u'\r' && i + 1 < n && texto[i + 1] == u'\n')
                ++i;
            terminarCampo();
            filas.push_back(std::move(fila));
            fila = FilaCsv{++linea, {}};
            pendiente = false;
        } else {
            campo += c;
        }
    }
    *sinCerrar = entreComillas ? fila.linea : 0;
    if (pendiente && !entreComillas) {
        terminarCampo();
        filas.push_back(std::move(fila));
    }
    return filas;
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
