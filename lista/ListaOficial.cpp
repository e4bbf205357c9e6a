// SPDX-License-Identifier: GPL-3.0-or-later
#include "lista/ListaOficial.h"

QString Partida::descripcionCompleta() const
{
    return (encabezados + QStringList{descripcion}).join(QStringLiteral(" › "));
}

std::unique_ptr<ListaOficial> ListaOficial::enUso() { return nullptr; }

std::unique_ptr<ListaOficial> ListaOficial::abrir(const QString &ruta)
{
    throw ErrorDeLista(QStringLiteral("No se puede leer la lista oficial %1.").arg(ruta).toStdString());
}
