// SPDX-License-Identifier: GPL-3.0-or-later
#include "dam/ComponenteDAM.h"

#include "dam/Bloques.h"
#include "dam/Causas.h"
#include "dam/Conector.h"
#include "dam/Dialecto.h"
#include "dam/Direccion.h"
#include "dam/Parametros.h"
#include "data/Clases.h"
#include "data/Sentencias.h"

#include <QHash>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <map>

namespace {

struct Entidad {
    QString nombre;
    bool conCorchetes; // the database takes [name] identifiers as they are
    QString sql;
    // Each [name] met so far, in the database's quoting: a statement names only a few.
    std::vector<std::pair<QString, QString>> citados;
};

} // namespace

struct ComponenteDAM::Base {
    std::unique_ptr<Conector> conector;
    int espera = kEsperaPorDefecto;
    QString visible;
    Secretos secretos;
    std::map<QString, std::shared_ptr<Entidad>> entidades;
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

namespace {

// The table a failed begin or commit names in its cause: the only one this program
// changes.
const QString kEntidadTransaccion = QStringLiteral("NCM");

const QString kEjecutar = QStringLiteral("ejecutar la sentencia");

const QString kConexionPerdida
    = QStringLiteral("se perdió la conexión con el servidor de la base de datos y no se pudo restablecer");

// "Error de la base de datos al ACCION: cause.", then the statement (when there is
// one) and the driver's text. A session the server ended is a lost connection, and
// never a passing condition: the statement may not be tried again on it.
[[noreturn]] void fallar(const ComponenteDAM::Base &base, const Fallo &fallo, const QString &entidad,
                         const QString &accion, const QString &sentencia = {})
{
    const bool perdida = fallo.perdida || sesionTerminada(fallo);
    const CausaDeFallo causa = causaDeSentencia(fallo, entidad, base.espera);
    QString mensaje
        = QStringLiteral("Error de la base de datos al %1: %2.").arg(accion, perdida ? kConexionPerdida : causa.texto);
    if (!sentencia.isEmpty())
        mensaje += u'\n' + sentencia;
    const QString textoDriver = base.secretos.sinClaves(fallo.texto.trimmed());
    if (!textoDriver.isEmpty())
        mensaje += u'\n' + textoDriver;
    if (causa.pasajera && !perdida)
        throw ErrorOcupado(mensaje, *causa.pasajera);
    throw ErrorComponente(mensaje);
}

Fallo conPerdida(Fallo fallo, bool perdida)
{
    fallo.perdida = perdida;
    return fallo;
}

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
        Respuesta r = ejecutar(1);
        if (r.filas.empty())
            return false;
        Recordset::Fila campos;
        campos.reserve(r.columnas.size());
        for (std::size_t i = 0; i < r.columnas.size(); ++i)
            campos.emplace_back(std::move(r.columnas[i]), std::move(r.filas.front()[i]));
        if (!rs)
            rs = std::make_unique<Recordset>();
        rs->ponerFila(std::move(campos));
        return true;
    }

    QVariant Ejecutar() override { return ejecutar(0).afectadas; }

private:
    Respuesta ejecutar(std::size_t maxFilas)
    {
        const QString &sql = entidad_->sql;
        if (std::all_of(sql.cbegin(), sql.cend(), [](QChar c) { return c.isSpace(); }))
            throw ErrorComponente(QStringLiteral("No hay ninguna sentencia que ejecutar."));
        Conector &con = base_->con();

        // Databases without [name] identifiers get the bracketed names in their own
        // quoting, asked of the connector once per name.
        class CitadorDelConector final : public Citador {
        public:
            CitadorDelConector(Entidad &entidad, const Conector &con) : entidad_(entidad), con_(con) { }
            QStringView citar(QStringView nombre) override
            {
                for (const auto &[conocido, citado] : entidad_.citados)
                    if (conocido.size() == nombre.size() && std::equal(nombre.begin(), nombre.end(), conocido.cbegin()))
                        return citado;
                const QString nuevo = nombre.toString();
                return entidad_.citados.emplace_back(nuevo, con_.citar(nuevo)).second;
            }

        private:
            Entidad &entidad_;
            const Conector &con_;
        };
        const bool conCorchetes = entidad_->conCorchetes;
        CitadorDelConector citar(*entidad_, con);
        const SentenciaAdaptada sentencia = adaptarSentencia(sql, conCorchetes ? nullptr : &citar);
        if (sentencia.varias)
            throw ErrorComponente(
                QStringLiteral("La sentencia contiene más de una instrucción SQL y no se ejecuta:\n%1").arg(sql));
        const QString &texto = conCorchetes ? sql : sentencia.texto;
        if (!con.transmite(texto))
            fallarPorControlador(sql);

        return correr(
            *base_, [&](Conector &c) { return c.ejecutar(texto, maxFilas); }, entidad_->nombre, [&] { return sql; });
    }

    std::shared_ptr<ComponenteDAM::Base> base_;
    std::shared_ptr<Entidad> entidad_;
};

} // namespace

ComponenteDAM::ComponenteDAM() = default;

ComponenteDAM::~ComponenteDAM()
{
    if (!base_)
        return;
    base_->entidades.clear();
    base_->conector.reset();
}

void ComponenteDAM::loadparameters()
{
    if (base_)
        return;
    const ParametrosDAM parametros = resolverParametros();
    const Direccion direccion = leerDireccion(parametros.url, parametros.origen);
    auto base = std::make_shared<Base>();
    base->espera = esperaDe(direccion, parametros.espera);
    base->visible = direccion.visible;
    base->secretos = direccion.secretos;
    base->conector = abrirConector(direccion, base->espera);
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
        estado = std::make_shared<Entidad>(Entidad{entidad.toUpper(), base_->con().tomaCorchetes(), {}, {}});
    return std::make_unique<ConexionDAM>(base_, estado);
}

namespace {

const QString kConfirmar = QStringLiteral("confirmar la transacción");

// The server's own number for the open transaction, which it can still be asked
// about after the connection is lost (PostgreSQL keeps the outcome of recent ones).
std::optional<qlonglong> numeroDeTransaccion(ComponenteDAM::Base &base)
{
    Conector &con = base.con();
    if (!con.guardaDesenlaces())
        return std::nullopt;
    const Respuesta r = con.ejecutar(QStringLiteral("SELECT txid_current()"), 1);
    if (r.fallo || r.filas.empty())
        fallar(base, r.fallo ? conPerdida(*r.fallo, false) : Fallo{}, kEntidadTransaccion, kConfirmar);
    bool numero = false;
    const qlonglong txid = r.filas.front().front().toLongLong(&numero);
    return numero ? std::optional(txid) : std::nullopt;
}

enum class Desenlace { Confirmada, Revertida, Incierto };

// What became of a transaction whose commit lost its answer, asked on a new
// connection. A transaction still "in progress" is one whose session the server has
// not yet seen end; it is asked again for a while.
Desenlace desenlaceDe(ComponenteDAM::Base &base, std::optional<qlonglong> txid)
{
    Conector &con = base.con();
    if (!txid || con.reabrir())
        return Desenlace::Incierto;
    const auto limite = std::chrono::steady_clock::now() + std::chrono::seconds(std::max(base.espera, 5));
    for (;;) {
        const Respuesta r = con.ejecutar(QStringLiteral("SELECT txid_status(%1)").arg(*txid), 1);
        if (r.fallo || r.filas.empty() || r.filas.front().front().isNull())
            return Desenlace::Incierto;
        const QString estado = r.filas.front().front().toString();
        if (estado == QLatin1String("committed"))
            return Desenlace::Confirmada;
        if (estado == QLatin1String("aborted"))
            return Desenlace::Revertida;
        if (std::chrono::steady_clock::now() >= limite || con.detenida())
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
    if (const auto fallo = base_->con().comenzar(aislamiento))
        fallar(*base_, *fallo, kEntidadTransaccion, QStringLiteral("comenzar la transacción"));
    base_->enTransaccion = true;
}

void ComponenteDAM::confirmarTransaccion()
{
    if (!base_ || !base_->enTransaccion)
        throw ErrorComponente(QStringLiteral("No hay ninguna transacción abierta que confirmar."));
    Base &base = *base_;
    Conector &con = base.con();
    const std::optional<qlonglong> txid = numeroDeTransaccion(base);
    const std::optional<Fallo> fallo = con.confirmar();
    if (!fallo) {
        base.enTransaccion = false;
        return;
    }
    // A commit whose connection still answers failed as known: it stored nothing.
    if (!fallo->perdida && !con.conexionPerdida())
        fallar(base, *fallo, kEntidadTransaccion, kConfirmar);
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
    if (base_->conector)
        base_->conector->revertir();
}

bool ComponenteDAM::enTransaccion() const { return base_ && base_->enTransaccion; }

namespace {

// A chunk's statement as an error message shows it: without the chunk's values.
QString comoSeMuestra(std::size_t filas) { return QStringLiteral("[%1 posiciones]").arg(filas); }

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

bool ComponenteDAM::admiteBloques() const { return base_ && base_->conector && base_->conector->dialecto(); }

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
    Conector &con = base_->con();
    const DialectoDeBloque dialecto = *con.dialecto();
    const QString json = jsonDeClaves(enviadas);
    const auto mostrada = [&] { return textoConsultaEnBloque(dialecto, comoSeMuestra(enviadas.size()), bloquear); };
    if (!con.transmite(json))
        fallarPorControlador(mostrada());
    const Respuesta r = correr(
        *base_, [&](Conector &c) { return c.consultarBloque(json, bloquear); }, kEntidadTransaccion, mostrada);
    for (const std::vector<QVariant> &fila : r.filas) {
        bool esNumero = false;
        const qsizetype n = fila.at(0).toLongLong(&esNumero);
        if (!esNumero || n < 0 || n >= qsizetype(indices.size()))
            filaAjena(mostrada());
        std::optional<QVariant> &unidad = unidades[indices[std::size_t(n)]];
        // Two rows under one key: the first one read counts, as for one lookup.
        if (!unidad)
            unidad = fila.at(1);
    }
    return unidades;
}

std::vector<qlonglong> ComponenteDAM::actualizarUnidades(const std::vector<std::pair<PositionKey, QString>> &cambios)
{
    exigirParametros();
    std::vector<qlonglong> filas(cambios.size(), 0);
    std::vector<std::pair<PositionKey, QString>> enviados;
    std::vector<std::size_t> indices;
    for (std::size_t i = 0; i < cambios.size(); ++i) {
        if (esVedada(cambios[i].first) || esVedado(cambios[i].second))
            continue;
        enviados.push_back(cambios[i]);
        indices.push_back(i);
    }
    if (enviados.empty())
        return filas;
    Conector &con = base_->con();
    const DialectoDeBloque dialecto = *con.dialecto();
    const QString json = jsonDeCambios(enviados);
    const auto mostrada = [&] { return textoUpdateEnBloque(dialecto, comoSeMuestra(enviados.size())); };
    if (!con.transmite(json))
        fallarPorControlador(mostrada());
    const Respuesta r = correr(
        *base_, [&](Conector &c) { return c.actualizarBloque(json); }, kEntidadTransaccion, mostrada);
    // PostgreSQL answers each row with its key's index; SQLite with the key itself.
    if (dialecto == DialectoDeBloque::Postgres) {
        for (const std::vector<QVariant> &fila : r.filas) {
            bool esNumero = false;
            const qlonglong n = fila.at(0).toLongLong(&esNumero);
            if (!esNumero || n < 0 || n >= qlonglong(indices.size()))
                filaAjena(mostrada());
            ++filas[indices[std::size_t(n)]];
        }
        return filas;
    }
    QHash<QString, std::size_t> indice;
    for (std::size_t j = 0; j < enviados.size(); ++j) {
        const PositionKey &k = enviados[j].first;
        indice.insert(claveComoTexto(k.primero, k.segundo, k.tercero), indices[j]);
    }
    for (const std::vector<QVariant> &fila : r.filas) {
        const auto i
            = indice.constFind(claveComoTexto(fila.at(0).toString(), fila.at(1).toString(), fila.at(2).toString()));
        if (i == indice.constEnd())
            filaAjena(mostrada());
        ++filas[*i];
    }
    return filas;
}

FilasEnBloque::Cancelacion ComponenteDAM::cancelacion()
{
    if (!base_ || !base_->conector)
        return {};
    return base_->conector->cancelacion();
}

QString ComponenteDAM::direccion() const { return base_ ? base_->visible : QString(); }

void registrarComponenteDAM()
{
    registrarClase(kClaseDAM, [] { return std::make_unique<ComponenteDAM>(); });
}
