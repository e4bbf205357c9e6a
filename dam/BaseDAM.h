// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the component's files share: its state, and how a statement is run and a
// failure raised.

#include "dam/ComponenteDAM.h"
#include "dam/Conector.h"
#include "dam/Espera.h"

#include <QString>

#include <map>
#include <memory>
#include <utility>
#include <vector>

struct EntidadDAM {
    QString nombre;
    bool conCorchetes; // the database takes [name] identifiers as they are
    QString sql;
    // Each [name] met so far, in the database's quoting: a statement names only a few.
    std::vector<std::pair<QString, QString>> citados;
};

struct ComponenteDAM::Base {
    std::unique_ptr<Conector> conector;
    int espera = kEsperaPorDefecto;
    QString visible;
    Secretos secretos;
    std::map<QString, std::shared_ptr<EntidadDAM>> entidades;
    bool enTransaccion = false;

    // The connector, while the component lives: a connection object kept past the
    // component's end finds none.
    Conector &con() const
    {
        if (!conector)
            throw ErrorComponente(QStringLiteral("El componente de datos ya se cerró."));
        return *conector;
    }
};

namespace dam {

// The table a failed begin or commit names in its cause: the only one this program
// changes.
inline const QString kEntidadTransaccion = QStringLiteral("NCM");

inline const QString kEjecutar = QStringLiteral("ejecutar la sentencia");

// "Error de la base de datos al ACCION: cause.", then the statement (when there is
// one) and the driver's text. A session the server ended is a lost connection, and
// never a passing condition: the statement may not be tried again on it.
[[noreturn]] void fallar(const ComponenteDAM::Base &base, const Fallo &fallo, const QString &entidad,
                         const QString &accion, const QString &sentencia = {});

Fallo conPerdida(Fallo fallo, bool perdida);

// Runs one statement. Outside a transaction, a connection found lost (a server
// restarted, a link dropped overnight) gets one new connection and one more try: every
// statement this component runs may safely run twice. `mostrada` is the statement as
// an error message shows it, made only when one does.
template <typename Intento, typename Mostrada>
Respuesta correr(ComponenteDAM::Base &base, const Intento &intento, const QString &entidad, const Mostrada &mostrada)
{
    Conector &con = base.con();
    const auto fallarCon = [&](const Fallo &fallo) { fallar(base, fallo, entidad, kEjecutar, mostrada()); };
    Respuesta r = intento(con);
    if (!r.fallo)
        return r;
    // A statement that ran and failed as its rows were read is not tried again; in a
    // transaction the error has already aborted it, and asking the server would fail.
    if (r.alLeer)
        fallarCon(conPerdida(*r.fallo, false));
    if (base.enTransaccion || (!r.fallo->perdida && !con.conexionPerdida()))
        fallarCon(*r.fallo);
    if (const auto fallo = con.reabrir())
        fallarCon(conPerdida(*fallo, true));
    r = intento(con);
    if (r.fallo)
        fallarCon(conPerdida(*r.fallo, !r.alLeer && con.conexionPerdida()));
    return r;
}

} // namespace dam
