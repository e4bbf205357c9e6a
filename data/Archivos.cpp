// SPDX-License-Identifier: GPL-3.0-or-later
#include "Archivos.h"

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
                if (c == u'\n')
                    ++linea;
                campo += c;
            }
        } else if (c == u'"' && finCitado < 0 && (recortar ? campo.trimmed().isEmpty() : campo.isEmpty())) {
            entreComillas = true;
            campo.clear();
        } else if (c == separador) {
            terminarCampo();
        } else if (c == u'\n' || (c == u'\r' && i + 1 < n && texto[i + 1] == u'\n')) {
            if (c == u'\r')
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
    };
    const char *motivo = motivos.value(error);
    return motivo ? QString::fromUtf8(motivo) : qt_error_string(error);
}
