// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Simulated users (telquin_carga, which pauses between statements and tries again
// after a busy answer, as a person would) working on the test database at once,
// and what must hold of the database afterwards.

#include "BaseDePrueba.h"

#include <QProcess>
#include <QSqlQuery>
#include <QStringList>

#include <memory>

// One user on one position: `veces` rounds of a lookup and an update with the next
// unit of the list. Prints a line once its first update is stored.
inline std::unique_ptr<QProcess> lanzarUsuario(const QString &url, const QString &posicion, int veces,
                                               const QStringList &unidades)
{
    auto proceso = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DAM_DATABASE_URL"), url);
    proceso->setProcessEnvironment(env);
    proceso->start(QStringLiteral(TELQUIN_CARGA), QStringList{posicion, QString::number(veces)} + unidades);
    return proceso;
}

// SQLite's own check of the file ("ok" when sound); a server answers for its own.
inline QString integridad(BaseDePrueba &base)
{
    if (!base.esSqlite())
        return QStringLiteral("ok");
    QSqlQuery q(base.db());
    if (!q.exec(QStringLiteral("PRAGMA integrity_check")) || !q.next())
        return QStringLiteral("<sin respuesta>");
    return q.value(0).toString();
}
