// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Lists in the published format, written by the tests themselves: each line as the
// published file lays it out, in UTF-8 or in Windows-1252, and the zip it comes in.

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>
#include <QStringDecoder>
#include <QStringEncoder>

#include <archive.h>
#include <archive_entry.h>

#include <utility>

namespace lista_de_prueba {

// "2@5408.22.00.111F @000.00@...@      @01@  @description": a full position's rates
// filled, a heading's blank.
inline QByteArray linea(const QString &codigo, const QString &unidad, const QString &descripcion,
                        bool windows1252 = false)
{
    const QString tasas = codigo.size() == 15 ? QStringLiteral("@000.00@005.00@018.00@005.00@000.00")
                                              : QStringLiteral("@      @      @      @      @      ");
    const QString texto = QStringLiteral("2@") + codigo.leftJustified(16) + tasas + QStringLiteral("@      @")
        + unidad.leftJustified(2) + QStringLiteral("@  @") + descripcion;
    if (!windows1252)
        return texto.toUtf8();
    QStringEncoder cp1252("windows-1252");
    if (cp1252.isValid())
        return cp1252(texto);
    // Without ICU: the letters the tests use are all Latin-1's.
    return texto.toLatin1();
}

// A small list: three chapters' headings and positions, lines of both encodings, a
// tab, runs of blanks, guillemets, a "?" for a lost letter, a record of another type.
inline QByteArray listaChica(const char *fin = "\r\n")
{
    const QList<QByteArray> lineas{
        "1@54@MATERIAS TEXTILES",
        linea("54.08", "", "TEJIDOS DE HILADOS DE FILAMENTOS ARTIFICIALES."),
        linea("5408.2", "", "-Los demás tejidos, teñidos o no:", true),
        linea("5408.22.00", "", "--Teñidos"),
        linea("5408.22.00.1", "", "      De filamentos de acetato"),
        linea("5408.22.00.111F", "01", "       De densidad inferior o igual a 30 hilos\t   por cm2"),
        linea("5408.22.00.119Y", "01", "       Las dem?s"),
        linea("5408.22.00.900U", "01", "      Los demás", true),
        linea("63.05", "", "SACOS (BOLSAS) Y TALEGAS, PARA ENVASAR."),
        linea("6305.10.00.100J", "01", "-De yute <<en bruto>>", true),
        linea("6305.90.00.000R", "77", "-De las demás materias"),
        linea("89.01", "", "BARCOS PARA EL TRANSPORTE DE PERSONAS O MERCANCÍAS."),
        linea("8901.10.00.000L", "07", "-Transatlánticos y  barcos   de crucero"),
        linea("8901.20.00.000B", "07", "-Barcos cisterna"),
    };
    QByteArray texto;
    for (const QByteArray &l : lineas)
        texto += l + fin;
    return texto;
}

inline void escribir(const QString &ruta, const QByteArray &datos)
{
    QFile f(ruta);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(datos) != datos.size())
        qFatal("no se puede escribir %s", qPrintable(ruta));
}

// A zip with those members, by name.
inline void escribirZip(const QString &ruta, const QList<std::pair<QString, QByteArray>> &miembros)
{
    archive *a = archive_write_new();
    archive_write_set_format_zip(a);
    if (archive_write_open_filename(a, QFile::encodeName(ruta).constData()) != ARCHIVE_OK)
        qFatal("no se puede escribir %s", qPrintable(ruta));
    for (const auto &[nombre, datos] : miembros) {
        archive_entry *e = archive_entry_new();
        archive_entry_set_pathname(e, nombre.toUtf8().constData());
        archive_entry_set_size(e, datos.size());
        archive_entry_set_filetype(e, AE_IFREG);
        archive_entry_set_perm(e, 0644);
        archive_write_header(a, e);
        archive_write_data(a, datos.constData(), size_t(datos.size()));
        archive_entry_free(e);
    }
    archive_write_close(a);
    archive_write_free(a);
}

} // namespace lista_de_prueba
