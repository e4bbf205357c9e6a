// SPDX-License-Identifier: GPL-3.0-or-later
#include "dam/ComponenteDAM.h"

#include "dam/Apertura.h"
#include "dam/Bloques.h"
#include "dam/Causas.h"
#include "dam/Dialecto.h"
#include "dam/Direccion.h"
#include "dam/Parametros.h"
#include "data/Clases.h"
#include "data/Sentencias.h"

#include <QLibrary>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QThread>
#include <QUuid>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <ctime>
#include <map>

namespace {

struct Entidad {
    QString nombre;
    bool conCorchetes; // SQLite takes [name] identifiers as they are
    QString sql;
    // Each [name] met so far, in the driver's quoting: a statement names only a few.
    std::vector<std::pair<QString, QString>> citados;
};

} // namespace

// What a signal handler reaches to stop the work: on SQLite the wait for a busy file
// as well as the running statement, on PostgreSQL the running statement of whatever
// connection is open now.
struct Detencion {
    volatile std::sig_atomic_t pedida = 0;
    std::chrono::steady_clock::time_point desde;
    std::chrono::milliseconds espera{0};
    void *sqlite = nullptr; // sqlite3*
    std::atomic<void *> pgCancel{nullptr}; // PGcancel* of the current connection
};

struct ComponenteDAM::Base {
    QString nombreConexion;
    QSqlDatabase db;
    int espera = kEsperaPorDefecto;
    Motor motor = Motor::Ninguno;
    QString visible;
    Secretos secretos;
    std::map<QString, std::shared_ptr<Entidad>> entidades;
    bool enTransaccion = false;
    Detencion parada;

    ~Base();
};

namespace {

bool esSqlite(const ComponenteDAM::Base &base) { return base.motor == Motor::Sqlite; }

// A server that no longer answers fails the simplest statement too. Asking costs a
// round trip, and only after a failure.
bool conexionPerdida(const ComponenteDAM::Base &base)
{
    const QSqlDatabase &db = base.db;
    if (esSqlite(base))
        return false;
    // QPSQL closes the database itself when it sees the connection gone.
    if (!db.isOpen())
        return true;
    QSqlQuery prueba(db);
    return !prueba.exec(QStringLiteral("SELECT 1"));
}

// The table a failed begin or commit names in its cause: the only one this program
// changes.
const QString kEntidadTransaccion = QStringLiteral("NCM");

const QString kConexionPerdida
    = QStringLiteral("se perdió la conexión con el servidor de la base de datos y no se pudo restablecer");

// The client libraries are already loaded by Qt's driver plugins; their functions
// are found at run time, so that nothing here links them.
using Interrumpir = void (*)(void *);
using PedirCancelacion = void *(*)(void *);
using LiberarCancelacion = void (*)(void *);
using Cancelar = int (*)(void *, char *, int);
using ManejarOcupado = int (*)(void *, int (*)(void *, int), void *);

template <typename Funcion>
Funcion funcionDe(const char *biblioteca, int version, const char *nombre)
{
    return reinterpret_cast<Funcion>(QLibrary::resolve(QLatin1String(biblioteca), version, nombre));
}

// sqlite3* or PGconn*, as the driver keeps it.
void *manejadorDe(const QSqlDatabase &db)
{
    if (!db.isOpen() || !db.driver())
        return nullptr;
    const QVariant manejador = db.driver()->handle();
    return manejador.isValid() ? *static_cast<void *const *>(manejador.constData()) : nullptr;
}

// A PGcancel for the connection open now; the previous one is freed once no handler
// can reach it any more (the handler runs on this same thread, never halfway through
// this exchange).
void renovarCancelacion(ComponenteDAM::Base &base)
{
    if (base.motor != Motor::Postgres)
        return;
    static const auto pedir = funcionDe<PedirCancelacion>("pq", 5, "PQgetCancel");
    static const auto liberar = funcionDe<LiberarCancelacion>("pq", 5, "PQfreeCancel");
    if (!pedir || !liberar)
        return;
    void *const conexion = manejadorDe(base.db);
    void *const anterior = base.parada.pgCancel.exchange(conexion ? pedir(conexion) : nullptr);
    if (anterior)
        liberar(anterior);
}

// SQLite's own busy timeout sleeps through a request to stop; this one looks at it
// between short sleeps, which a signal also cuts short.
int esperarArchivoOcupado(void *datos, int veces)
{
    auto &parada = *static_cast<Detencion *>(datos);
    const auto ahora = std::chrono::steady_clock::now();
    if (veces == 0)
        parada.desde = ahora;
    if (parada.pedida || ahora - parada.desde >= parada.espera)
        return 0;
    const auto pausa = std::min<std::chrono::steady_clock::duration>(std::chrono::milliseconds(std::min(veces + 1, 20)),
                                                                     parada.desde + parada.espera - ahora);
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(pausa).count();
    timespec espera{time_t(ns / 1000000000), long(ns % 1000000000)};
    (void)::nanosleep(&espera, nullptr);
    return 1;
}

void prepararParada(ComponenteDAM::Base &base)
{
    base.parada.espera = std::chrono::seconds(base.espera);
    if (base.motor == Motor::Sqlite) {
        static const auto manejar = funcionDe<ManejarOcupado>("sqlite3", 0, "sqlite3_busy_handler");
        base.parada.sqlite = manejadorDe(base.db);
        if (manejar && base.parada.sqlite)
            manejar(base.parada.sqlite, &esperarArchivoOcupado, &base.parada);
    }
    renovarCancelacion(base);
}

bool reabrir(ComponenteDAM::Base &base)
{
    const bool abierta = reabrirBaseDeDatos(base.db, base.motor, base.espera);
    renovarCancelacion(base);
    return abierta;
}

// "Error de la base de datos al ACCION: cause.", then the statement (when there is
// one) and the driver's text. A session the server ended is a lost connection, and
// never a passing condition: the statement may not be tried again on it.
[[noreturn]] void fallar(const ComponenteDAM::Base &base, const Fallo &fallo, bool perdida, const QString &entidad,
                         const QString &accion, const QString &sentencia = {})
{
    perdida = perdida || sesionTerminada(fallo);
    const CausaDeFallo causa = causaDeSentencia(fallo, entidad, base.espera);
    QString mensaje
        = QStringLiteral("Error de la base de datos al %1: %2.").arg(accion, perdida ? kConexionPerdida : causa.texto);
    if (!sentencia.isEmpty())
        mensaje += u'\n' + sentencia;
    const QString textoDriver = base.secretos.sinClaves(fallo.error.text().trimmed());
    if (!textoDriver.isEmpty())
        mensaje += u'\n' + textoDriver;
    if (causa.pasajera && !perdida)
        throw ErrorOcupado(mensaje, *causa.pasajera);
    throw ErrorComponente(mensaje);
}

// Runs one statement. Outside a transaction, a connection found lost (a server
// restarted, a link dropped overnight) gets one new connection and one more try: every
// statement this component runs may safely run twice. `mostrada` is the statement as
// an error message shows it, made only when one does.
template <typename Mostrada>
QSqlQuery correr(ComponenteDAM::Base &base, const QString &texto, const QString &entidad, const Mostrada &mostrada)
{
    const auto fallarCon = [&](const Fallo &fallo, bool perdida) {
        fallar(base, fallo, perdida, entidad, QStringLiteral("ejecutar la sentencia"), mostrada());
    };
    QSqlDatabase &db = base.db;
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (db.isOpen() && q.exec(texto))
        return q;
    const Fallo fallo = falloDeSentencia(base.motor, q);
    // QPSQL has closed the database if the connection itself is gone.
    const bool terminada = !esSqlite(base) && (!db.isOpen() || sesionTerminada(fallo));
    // Asking the server would fail in a transaction the error already aborted.
    if (base.enTransaccion)
        fallarCon(fallo, terminada);
    if (!terminada && !conexionPerdida(base))
        fallarCon(fallo, false);
    if (!reabrir(base))
        fallarCon(falloDeConexion(base.motor, db), true);
    QSqlQuery otra(db);
    otra.setForwardOnly(true);
    if (otra.exec(texto))
        return otra;
    fallarCon(falloDeSentencia(base.motor, otra), conexionPerdida(base));
    return otra; // not reached: fallar raises
}

// Through a driver that is not Unicode (psqlODBC's ANSI one), the driver manager turns
// a statement's UTF-16 into the bytes of the locale's character set, and a character
// that set lacks (any but ASCII under the C locale, half of a pair under any) into
// its low byte: "ħ" becomes a quote, "Ō" an "L", two pairs may spell another row's
// key. Through such a driver only ASCII statements are sent.
bool noSeTransmite(const ComponenteDAM::Base &base, const QString &texto)
{
    if (base.motor != Motor::Odbc || !base.db.driver() || base.db.driver()->hasFeature(QSqlDriver::Unicode))
        return false;
    return std::any_of(texto.cbegin(), texto.cend(), [](QChar c) { return c.unicode() > 0x7f; });
}

[[noreturn]] void fallarPorControlador(const QString &mostrada)
{
    throw ErrorComponente(
        QStringLiteral("La sentencia no se ejecuta: tiene caracteres que no son ASCII (una letra acentuada o un emoji, "
                       "por ejemplo) y el controlador ODBC de la base de datos no es Unicode, así que podrían llegar "
                       "cambiados al servidor. Con psqlODBC, use el controlador Unicode (psqlodbcw.so).\n%1")
            .arg(mostrada));
}

class ConexionDAM final : public Conexion {
public:
    ConexionDAM(std::shared_ptr<ComponenteDAM::Base> base, std::shared_ptr<Entidad> entidad)
        : base_(std::move(base))
        , entidad_(std::move(entidad))
    {
    }

    void setSQL(const QString &sentencia) override { entidad_->sql = sentencia; }
    QString SQL() const override { return entidad_->sql; }

    QVariant crearrs(std::unique_ptr<Recordset> &rs) override
    {
        QSqlQuery q = ejecutar();
        if (!q.next()) {
            if (q.lastError().isValid())
                fallar(falloDeSentencia(base_->motor, q), false);
            return false;
        }
        const QSqlRecord columnas = q.record();
        Recordset::Fila campos;
        campos.reserve(std::size_t(columnas.count()));
        for (int i = 0; i < columnas.count(); ++i) {
            const QSqlField campo = columnas.field(i);
            campos.emplace_back(campo.name(), campo.isNull() ? QVariant() : campo.value());
        }
        // Done with the statement: on SQLite an unfinished query keeps the file locked.
        q.finish();
        if (!rs)
            rs = std::make_unique<Recordset>();
        rs->ponerFila(std::move(campos));
        return true;
    }

    QVariant Ejecutar() override { return ejecutar().numRowsAffected(); }

private:
    QSqlQuery ejecutar()
    {
        const QString &sql = entidad_->sql;
        if (std::all_of(sql.cbegin(), sql.cend(), [](QChar c) { return c.isSpace(); }))
            throw ErrorComponente(QStringLiteral("No hay ninguna sentencia que ejecutar."));

        // Drivers without [name] identifiers get the bracketed names in their own
        // quoting, asked of the driver once per name.
        class CitadorDelDriver final : public Citador {
        public:
            CitadorDelDriver(Entidad &entidad, const QSqlDriver *driver) : entidad_(entidad), driver_(driver) { }
            QStringView citar(QStringView nombre) override
            {
                for (const auto &[conocido, citado] : entidad_.citados)
                    if (conocido.size() == nombre.size() && std::equal(nombre.begin(), nombre.end(), conocido.cbegin()))
                        return citado;
                const QString nuevo = nombre.toString();
                return entidad_.citados.emplace_back(nuevo, driver_->escapeIdentifier(nuevo, QSqlDriver::FieldName))
                    .second;
            }

        private:
            Entidad &entidad_;
            const QSqlDriver *driver_;
        };
        const bool conCorchetes = entidad_->conCorchetes;
        CitadorDelDriver citar(*entidad_, base_->db.driver());
        const SentenciaAdaptada sentencia = adaptarSentencia(sql, conCorchetes ? nullptr : &citar);
        if (sentencia.varias)
            throw ErrorComponente(
                QStringLiteral("La sentencia contiene más de una instrucción SQL y no se ejecuta:\n%1").arg(sql));
        const QString &texto = conCorchetes ? sql : sentencia.texto;
        if (noSeTransmite(*base_, texto))
            fallarPorControlador(sql);

        return correr(*base_, texto, entidad_->nombre, [&] { return sql; });
    }

    [[noreturn]] void fallar(const Fallo &fallo, bool perdida) const
    {
        ::fallar(*base_, fallo, perdida, entidad_->nombre, QStringLiteral("ejecutar la sentencia"), entidad_->sql);
    }

    std::shared_ptr<ComponenteDAM::Base> base_;
    std::shared_ptr<Entidad> entidad_;
};

} // namespace

ComponenteDAM::Base::~Base()
{
    if (void *const cancelacion = parada.pgCancel.exchange(nullptr))
        if (const auto liberar = funcionDe<LiberarCancelacion>("pq", 5, "PQfreeCancel"))
            liberar(cancelacion);
}

ComponenteDAM::ComponenteDAM() = default;

ComponenteDAM::~ComponenteDAM()
{
    if (!base_)
        return;
    base_->entidades.clear();
    base_->db.close();
    base_->db = QSqlDatabase();
    QSqlDatabase::removeDatabase(base_->nombreConexion);
}

void ComponenteDAM::loadparameters()
{
    if (base_)
        return;
    const ParametrosDAM parametros = resolverParametros();
    const Direccion direccion = leerDireccion(parametros.url, parametros.origen);
    auto base = std::make_shared<Base>();
    base->nombreConexion = QStringLiteral("telquin-dam-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    base->espera = esperaDe(direccion, parametros.espera);
    base->motor = direccion.motor;
    base->visible = direccion.visible;
    base->secretos = direccion.secretos;
    base->db = abrirBaseDeDatos(direccion, base->nombreConexion, base->espera);
    prepararParada(*base);
    base_ = std::move(base);
}

void ComponenteDAM::exigirParametros() const
{
    if (!base_)
        throw ErrorComponente(
            QStringLiteral("El componente de datos no tiene parámetros: falta llamar a loadparameters."));
}

std::unique_ptr<Conexion> ComponenteDAM::getDataConnectionByEntity(const QString &entidad)
{
    exigirParametros();
    auto &estado = base_->entidades[entidad.toUpper()];
    if (!estado)
        estado = std::make_shared<Entidad>(Entidad{entidad.toUpper(), esSqlite(*base_), {}, {}});
    return std::make_unique<ConexionDAM>(base_, estado);
}

namespace {

bool esPostgresql(const ComponenteDAM::Base &base)
{
    return base.motor == Motor::Postgres
        || (base.motor == Motor::Odbc && base.db.driver() && base.db.driver()->dbmsType() == QSqlDriver::PostgreSQL);
}

// One step of a transaction: a statement where one is given (always on SQLite), else
// the driver's own call. What went wrong, when something did.
std::optional<Fallo> intentarPaso(ComponenteDAM::Base &base, const QString &sentencia, bool (QSqlDatabase::*paso)())
{
    QSqlDatabase &db = base.db;
    if (!sentencia.isEmpty()) {
        QSqlQuery q(db);
        if (!q.exec(sentencia))
            return falloDeSentencia(base.motor, q);
    } else if (!(db.*paso)()) {
        return falloDeConexion(base.motor, db);
    }
    return std::nullopt;
}

const QString kConfirmar = QStringLiteral("confirmar la transacción");

// The server's own number for the open transaction, which it can still be asked
// about after the connection is lost (PostgreSQL keeps the outcome of recent ones).
std::optional<qlonglong> numeroDeTransaccion(ComponenteDAM::Base &base)
{
    if (!esPostgresql(base))
        return std::nullopt;
    QSqlQuery q(base.db);
    if (!q.exec(QStringLiteral("SELECT txid_current()")) || !q.next())
        fallar(base, falloDeSentencia(base.motor, q), false, kEntidadTransaccion, kConfirmar);
    bool numero = false;
    const qlonglong txid = q.value(0).toLongLong(&numero);
    return numero ? std::optional(txid) : std::nullopt;
}

enum class Desenlace { Confirmada, Revertida, Incierto };

// What became of a transaction whose commit lost its answer, asked on a new
// connection. A transaction still "in progress" is one whose session the server has
// not yet seen end; it is asked again for a while.
Desenlace desenlaceDe(ComponenteDAM::Base &base, std::optional<qlonglong> txid)
{
    if (!txid || !reabrir(base))
        return Desenlace::Incierto;
    const auto limite = std::chrono::steady_clock::now() + std::chrono::seconds(std::max(base.espera, 5));
    for (;;) {
        QSqlQuery q(base.db);
        if (!q.exec(QStringLiteral("SELECT txid_status(%1)").arg(*txid)) || !q.next() || q.isNull(0))
            return Desenlace::Incierto;
        const QString estado = q.value(0).toString();
        if (estado == QLatin1String("committed"))
            return Desenlace::Confirmada;
        if (estado == QLatin1String("aborted"))
            return Desenlace::Revertida;
        if (std::chrono::steady_clock::now() >= limite || base.parada.pedida)
            return Desenlace::Incierto;
        QThread::msleep(100);
    }
}

} // namespace

void ComponenteDAM::comenzarTransaccion(Aislamiento aislamiento)
{
    exigirParametros();
    if (base_->enTransaccion)
        throw ErrorComponente(QStringLiteral("Ya hay una transacción abierta."));
    Base &base = *base_;
    QSqlDatabase &db = base.db;
    const QString accion = QStringLiteral("comenzar la transacción");
    const auto reabrirAqui = [&] {
        if (!reabrir(base))
            fallar(base, falloDeConexion(base.motor, db), true, kEntidadTransaccion, accion);
    };
    // A connection lost while idle is opened again here, as a statement would; once
    // the transaction has begun, never. Through ODBC, beginning sends nothing, so the
    // connection is asked first; PostgreSQL's BEGIN is itself the question, and asking
    // only after it fails saves every transaction a round trip.
    if (base.motor == Motor::Odbc ? conexionPerdida(base) : !esSqlite(base) && !db.isOpen())
        reabrirAqui();
    const bool repetible = aislamiento == Aislamiento::Repetible;
    // QSQLITE's own transaction() begins a deferred one, which takes no lock; SQLite
    // with the write lock taken needs no stricter isolation. PostgreSQL takes the
    // level with BEGIN; through ODBC the driver begins by itself.
    const QString comienzo = esSqlite(base)          ? QStringLiteral("BEGIN IMMEDIATE")
        : base.motor == Motor::Postgres && repetible ? QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ")
                                                     : QString();
    std::optional<Fallo> fallo = intentarPaso(base, comienzo, &QSqlDatabase::transaction);
    if (fallo && base.motor == Motor::Postgres && (sesionTerminada(*fallo) || conexionPerdida(base))) {
        reabrirAqui();
        fallo = intentarPaso(base, comienzo, &QSqlDatabase::transaction);
    }
    if (!fallo && repetible && base.motor == Motor::Odbc && esPostgresql(base)) {
        fallo = intentarPaso(base, QStringLiteral("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ"), nullptr);
        if (fallo)
            (void)db.rollback();
    }
    if (fallo)
        fallar(base, *fallo, !esSqlite(base) && !db.isOpen(), kEntidadTransaccion, accion);
    base.enTransaccion = true;
}

void ComponenteDAM::confirmarTransaccion()
{
    if (!base_ || !base_->enTransaccion)
        throw ErrorComponente(QStringLiteral("No hay ninguna transacción abierta que confirmar."));
    Base &base = *base_;
    const std::optional<qlonglong> txid = numeroDeTransaccion(base);
    const std::optional<Fallo> fallo
        = intentarPaso(base, esSqlite(base) ? QStringLiteral("COMMIT") : QString(), &QSqlDatabase::commit);
    if (!fallo) {
        base.enTransaccion = false;
        return;
    }
    // SQLite commits in this process: its failure is always known, and it stored nothing.
    if (esSqlite(base) || (base.db.isOpen() && !sesionTerminada(*fallo) && !conexionPerdida(base)))
        fallar(base, *fallo, false, kEntidadTransaccion, kConfirmar);
    base.enTransaccion = false;
    switch (desenlaceDe(base, txid)) {
    case Desenlace::Confirmada:
        return;
    case Desenlace::Revertida:
        throw ErrorComponente(QStringLiteral("Error de la base de datos al confirmar la transacción: se perdió la "
                                             "conexión con el servidor, que no la confirmó."));
    case Desenlace::Incierto:
        break;
    }
    throw ErrorDesenlaceIncierto(kDesenlaceIncierto);
}

void ComponenteDAM::revertirTransaccion() noexcept
{
    if (!base_ || !base_->enTransaccion)
        return;
    base_->enTransaccion = false;
    QSqlDatabase &db = base_->db;
    // When this fails the transaction has already ended without storing anything:
    // the connection was lost, or the database rolled it back itself.
    if (esSqlite(*base_))
        (void)QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
    else if (db.isOpen())
        (void)db.rollback();
}

bool ComponenteDAM::enTransaccion() const { return base_ && base_->enTransaccion; }

namespace {

std::optional<DialectoDeBloque> dialectoDe(const ComponenteDAM::Base &base)
{
    switch (base.motor) {
    case Motor::Sqlite:
        return DialectoDeBloque::Sqlite;
    case Motor::Postgres:
        return DialectoDeBloque::Postgres;
    case Motor::Odbc:
        // The driver manager names the server; only PostgreSQL's SQL is written here.
        if (base.db.driver() && base.db.driver()->dbmsType() == QSqlDriver::PostgreSQL)
            return DialectoDeBloque::Postgres;
        break;
    case Motor::Ninguno:
        break;
    }
    return std::nullopt;
}

// A chunk's statement as an error message shows it: without the chunk's values.
QString comoSeMuestra(const QString &texto, const QString &json, std::size_t filas)
{
    return QString(texto).replace(literal(json), QStringLiteral("[%1 posiciones]").arg(filas));
}

QString claveComoTexto(const QString &a, const QString &b, const QString &c) { return a + u'\x1f' + b + u'\x1f' + c; }

// A chunk's answer is read row by row against the keys sent; a row that is none of
// theirs means the statement did something other than asked, and nothing of it may
// count.
[[noreturn]] void filaAjena(const QString &mostrada)
{
    throw ErrorComponente(QStringLiteral("Error de la base de datos al ejecutar la sentencia: su respuesta trae una "
                                         "fila que no es de ninguna de las posiciones enviadas.\n%1")
                              .arg(mostrada));
}

} // namespace

bool ComponenteDAM::admiteBloques() const { return base_ && dialectoDe(*base_).has_value(); }

std::vector<std::optional<QVariant>> ComponenteDAM::consultarUnidades(const std::vector<PositionKey> &claves,
                                                                      bool bloquear)
{
    exigirParametros();
    std::vector<std::optional<QVariant>> unidades(claves.size());
    // What cannot be sent has no row; the rest go in the order given.
    std::vector<PositionKey> enviadas;
    std::vector<std::size_t> indices;
    for (std::size_t i = 0; i < claves.size(); ++i)
        if (!esVedada(claves[i])) {
            enviadas.push_back(claves[i]);
            indices.push_back(i);
        }
    if (enviadas.empty())
        return unidades;
    const QString json = jsonDeClaves(enviadas);
    const QString texto = textoConsultaEnBloque(*dialectoDe(*base_), json, bloquear);
    const auto mostrada = [&] { return comoSeMuestra(texto, json, enviadas.size()); };
    if (noSeTransmite(*base_, json))
        fallarPorControlador(mostrada());
    QSqlQuery q = correr(*base_, texto, kEntidadTransaccion, mostrada);
    while (q.next()) {
        bool esNumero = false;
        const qsizetype n = q.value(0).toLongLong(&esNumero);
        if (!esNumero || n < 0 || n >= qsizetype(indices.size()))
            filaAjena(mostrada());
        std::optional<QVariant> &unidad = unidades[indices[std::size_t(n)]];
        // Two rows under one key: the first one read counts, as for one lookup.
        if (!unidad)
            unidad = q.isNull(1) ? QVariant() : q.value(1);
    }
    if (q.lastError().isValid())
        fallar(*base_, falloDeSentencia(base_->motor, q), false, kEntidadTransaccion,
               QStringLiteral("ejecutar la sentencia"), mostrada());
    q.finish();
    return unidades;
}

std::vector<qlonglong> ComponenteDAM::actualizarUnidades(const std::vector<std::pair<PositionKey, QString>> &cambios)
{
    exigirParametros();
    std::vector<qlonglong> filas(cambios.size(), 0);
    std::vector<std::pair<PositionKey, QString>> enviados;
    QHash<QString, std::size_t> indice;
    for (std::size_t i = 0; i < cambios.size(); ++i) {
        const PositionKey &k = cambios[i].first;
        if (esVedada(k) || esVedado(cambios[i].second))
            continue;
        enviados.push_back(cambios[i]);
        indice.insert(claveComoTexto(k.primero, k.segundo, k.tercero), i);
    }
    if (enviados.empty())
        return filas;
    const QString json = jsonDeCambios(enviados);
    const QString texto = textoUpdateEnBloque(*dialectoDe(*base_), json);
    const auto mostrada = [&] { return comoSeMuestra(texto, json, enviados.size()); };
    if (noSeTransmite(*base_, json))
        fallarPorControlador(mostrada());
    QSqlQuery q = correr(*base_, texto, kEntidadTransaccion, mostrada);
    while (q.next()) {
        const auto i
            = indice.constFind(claveComoTexto(q.value(0).toString(), q.value(1).toString(), q.value(2).toString()));
        if (i == indice.constEnd())
            filaAjena(mostrada());
        ++filas[*i];
    }
    if (q.lastError().isValid())
        fallar(*base_, falloDeSentencia(base_->motor, q), false, kEntidadTransaccion,
               QStringLiteral("ejecutar la sentencia"), mostrada());
    q.finish();
    return filas;
}

namespace {

// Both are what libpq's and SQLite's manuals name as safe to call from a signal
// handler: PQcancel, and sqlite3_interrupt (the sqlite3 shell's own Ctrl+C).
Cancelar pqCancel = nullptr;
Interrumpir sqliteInterrupt = nullptr;

void cancelarEnPostgres(void *datos)
{
    auto &parada = *static_cast<Detencion *>(datos);
    parada.pedida = 1;
    if (void *const cancelacion = parada.pgCancel.load()) {
        char error[256];
        (void)pqCancel(cancelacion, error, int(sizeof error));
    }
}

void cancelarEnSqlite(void *datos)
{
    auto &parada = *static_cast<Detencion *>(datos);
    parada.pedida = 1;
    sqliteInterrupt(parada.sqlite);
}

void soloMarcar(void *datos) { static_cast<Detencion *>(datos)->pedida = 1; }

} // namespace

FilasEnBloque::Cancelacion ComponenteDAM::cancelacion()
{
    if (!base_)
        return {};
    Detencion *const parada = &base_->parada;
    if (base_->motor == Motor::Sqlite && parada->sqlite) {
        sqliteInterrupt = funcionDe<Interrumpir>("sqlite3", 0, "sqlite3_interrupt");
        if (sqliteInterrupt)
            return {&cancelarEnSqlite, parada};
    }
    if (base_->motor == Motor::Postgres) {
        pqCancel = funcionDe<Cancelar>("pq", 5, "PQcancel");
        if (pqCancel)
            return {&cancelarEnPostgres, parada};
    }
    // Through ODBC the statement runs to its end, but no further wait begins.
    return {&soloMarcar, parada};
}

QString ComponenteDAM::direccion() const { return base_ ? base_->visible : QString(); }

void registrarComponenteDAM()
{
    registrarClase(kClaseDAM, [] { return std::make_unique<ComponenteDAM>(); });
}
