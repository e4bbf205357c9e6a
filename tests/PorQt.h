// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A statement through Qt's own driver (QSQLITE, QPSQL), as the component ran it before
// each kind had its own connector: the rows, value types and causes those connectors
// must keep.

#include "dam/Conector.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

inline Respuesta ejecutarPorQt(const QSqlDatabase &db, const QString &sql, std::size_t maxFilas)
{
    Respuesta r;
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.exec(sql)) {
        const QSqlError e = q.lastError();
        const bool sqlite = db.driverName() == QLatin1String("QSQLITE");
        r.fallo = Fallo{e.text(), e.databaseText(), sqlite ? e.nativeErrorCode().toInt() : -1,
                        sqlite ? QString() : e.nativeErrorCode(), false};
        return r;
    }
    if (maxFilas == 0) {
        r.afectadas = q.numRowsAffected();
        return r;
    }
    while (r.filas.size() < maxFilas && q.next()) {
        if (r.columnas.empty()) {
            const QSqlRecord registro = q.record();
            for (int i = 0; i < registro.count(); ++i)
                r.columnas.push_back(registro.fieldName(i));
        }
        std::vector<QVariant> fila;
        for (int i = 0; i < int(r.columnas.size()); ++i)
            fila.push_back(q.isNull(i) ? QVariant() : q.value(i));
        r.filas.push_back(std::move(fila));
    }
    q.finish();
    return r;
}
