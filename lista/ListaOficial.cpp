// SPDX-License-Identifier: GPL-3.0-or-later
#include "lista/ListaOficial.h"

#include "archivos/Carpetas.h"
#include "lista/Indice.h"

#include <QDir>
#include <QFileInfo>

namespace {

const QString kBajoLaCarpeta = QStringLiteral("/telquin/lista.sqlite");

} // namespace

QString Partida::descripcionCompleta() const
{
    return (encabezados + QStringList{descripcion}).join(QStringLiteral(" › "));
}

QString rutaPropiaDeLaLista() { return carpetaXdg("XDG_DATA_HOME", QStringLiteral(".local/share")) + kBajoLaCarpeta; }

QStringList rutasDeLaLista()
{
    QStringList rutas{rutaPropiaDeLaLista()};
    for (const QString &carpeta : carpetasXdg("XDG_DATA_DIRS", QStringLiteral("/usr/local/share/:/usr/share/")))
        rutas << QDir::cleanPath(carpeta + kBajoLaCarpeta);
    return rutas;
}

std::unique_ptr<ListaOficial> ListaOficial::enUso()
{
    for (const QString &ruta : rutasDeLaLista())
        if (QFileInfo::exists(ruta))
            return abrir(ruta);
    return nullptr;
}

std::unique_ptr<ListaOficial> ListaOficial::abrir(const QString &ruta) { return std::make_unique<IndiceSqlite>(ruta); }
