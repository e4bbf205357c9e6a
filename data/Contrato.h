// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "codes/Codigos.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QVariant>

#include <exception>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

// The one error raised by a data-access component or a recordset. Its message is
// Spanish and meant for the user; the driver's own text may follow it.
class ErrorComponente : public std::exception {
public:
    explicit ErrorComponente(QString mensaje);
    [[nodiscard]] const QString &mensaje() const { return mensaje_; }
    [[nodiscard]] const char *what() const noexcept override { return utf8_.constData(); }

private:
    QString mensaje_;
    QByteArray utf8_;
};

// An error in the component's configuration (dam.conf, DAM_DATABASE_URL, the
// address they give): the user's to mend, not the database's.
class ErrorDeConfiguracion : public ErrorComponente {
public:
    using ErrorComponente::ErrorComponente;
};

// The answer to a commit was lost with the connection, and the database could not be
// asked afterwards whether it stored the transaction: it may have, or not.
class ErrorDesenlaceIncierto : public ErrorComponente {
public:
    using ErrorComponente::ErrorComponente;
};
inline const QString kDesenlaceIncierto
    = QStringLiteral("No se sabe si los cambios se guardaron: se perdió la conexión al confirmarlos");

// The passing conditions of a database: none is a fault of the data or of the
// program, and the same statement may well succeed a moment later.
enum class CondicionPasajera {
    // Another user held the row, or the SQLite file, longer than the component waits.
    EsperaAgotada,
    // Two users each waited for rows the other held; the database stopped one of them.
    Interbloqueo,
    // The server cancelled the statement (an administrator, say).
    Cancelada,
    // Another user changed the row between this transaction's reading and its update.
    CambioConcurrente,
};

// A passing condition rather than a fault. The statement changed nothing, the
// connection is still good, and the same call may be made again.
class ErrorOcupado : public ErrorComponente {
public:
    ErrorOcupado(QString mensaje, CondicionPasajera condicion);
    [[nodiscard]] CondicionPasajera condicion() const { return condicion_; }

private:
    CondicionPasajera condicion_;
};

// A recordset holds at most one current row. It is created empty by the caller
// and filled (or replaced) by the component.
class Recordset {
public:
    // Each column's name and value, in the statement's order: a row has only a few.
    using Fila = std::vector<std::pair<QString, QVariant>>;
    void ponerFila(Fila campos) { fila_ = std::move(campos); }
    // Fields(nombre).Value: the value of the column in the current row, possibly null.
    // When two columns share the name, the later one.
    [[nodiscard]] QVariant Fields(const QString &nombre) const;

private:
    std::optional<Fila> fila_;
};

// A connection for one entity. Connections asked for the same entity of one
// component share their state: a statement set through one is run through the next.
class Conexion {
public:
    virtual ~Conexion() = default;
    virtual void setSQL(const QString &sentencia) = 0;
    [[nodiscard]] virtual QString SQL() const = 0;
    // True (as a variant) when the statement yields a row, which is then the current
    // row of rs; false or null when it yields none.
    virtual QVariant crearrs(std::unique_ptr<Recordset> &rs) = 0;
    // The number of rows the statement changed.
    virtual QVariant Ejecutar() = 0;
};

class Componente {
public:
    virtual ~Componente() = default;
    virtual void loadparameters() = 0;
    [[nodiscard]] virtual std::unique_ptr<Conexion> getDataConnectionByEntity(const QString &entidad) = 0;
};

// What a component may offer beyond the contract, found with dynamic_cast: the
// statements run between comenzar and confirmar are stored all together or not at
// all. A component without it runs each statement on its own.
class Transacciones {
public:
    enum class Aislamiento {
        // Each statement sees what was committed before it began.
        Confirmada,
        // Every statement sees the rows as the first one did, and an update of a row
        // another user changed since then fails (CondicionPasajera::CambioConcurrente)
        // instead of overwriting that change.
        Repetible,
    };
    virtual ~Transacciones() = default;
    // Raises ErrorOcupado for a passing condition (another user keeps the table past
    // the wait, say), and ErrorComponente for any other failure or when a transaction
    // is already open.
    virtual void comenzarTransaccion(Aislamiento aislamiento = Aislamiento::Confirmada) = 0;
    // Raises as comenzarTransaccion; after such a failure nothing was stored, the
    // transaction is still open and only revertirTransaccion ends it. When the answer
    // to the commit is lost and the database cannot tell afterwards what became of
    // it, raises ErrorDesenlaceIncierto; the transaction is then over.
    virtual void confirmarTransaccion() = 0;
    // Never raises: whatever the database answers, nothing of the transaction stays.
    virtual void revertirTransaccion() noexcept = 0;
    [[nodiscard]] virtual bool enTransaccion() const = 0;
};

// What a component may offer for many rows at once, found with dynamic_cast as
// Transacciones is: one statement looks up, or updates, the rows of a whole chunk of
// positions. A key or unit that holds what esVedado refuses is never sent: its key
// counts as having no row, and its update as changing none.
class FilasEnBloque {
public:
    virtual ~FilasEnBloque() = default;
    // Whether the database behind the component takes these statements; when not,
    // a batch goes row by row.
    [[nodiscard]] virtual bool admiteBloques() const = 0;
    // The unit each key's row holds, in the order of `claves`: the value as stored
    // (null when it has none), or nothing when no row has that key. With `bloquear`,
    // inside a transaction, the rows are locked in key order until it ends.
    [[nodiscard]] virtual std::vector<std::optional<QVariant>> consultarUnidades(const std::vector<PositionKey> &claves,
                                                                                 bool bloquear)
        = 0;
    // Sets each key's unit; how many rows changed for each, in order.
    [[nodiscard]] virtual std::vector<qlonglong>
    actualizarUnidades(const std::vector<std::pair<PositionKey, QString>> &cambios) = 0;

    // How to stop the statement the connection is running from a signal handler
    // (Ctrl+C): a function safe to call there and its argument, both made beforehand
    // and valid while the component lives. Empty when the database offers no way.
    struct Cancelacion {
        void (*cancelar)(void *) = nullptr;
        void *datos = nullptr;
    };
    [[nodiscard]] virtual Cancelacion cancelacion() { return {}; }
};

// What a component may offer to read every row a query yields, found with dynamic_cast
// as the others are: the contract's recordset holds one row at most.
class FilasDeConsulta {
public:
    virtual ~FilasDeConsulta() = default;
    // Runs the query on the entity's connection as crearrs runs its statement, and
    // gives every row's values in the order of the query's columns.
    [[nodiscard]] virtual std::vector<std::vector<QVariant>> leerFilas(const QString &entidad, const QString &sentencia)
        = 0;
};

// What a component may tell beyond the contract, found with dynamic_cast: the
// address of its database as a message may show it, password hidden.
class Procedencia {
public:
    virtual ~Procedencia() = default;
    [[nodiscard]] virtual QString direccion() const = 0;
};

// The component's address as Procedencia gives it; empty for a component without it.
[[nodiscard]] QString direccionDe(const Componente &oDAM);
