// SPDX-License-Identifier: GPL-3.0-or-later
#include "dam/ComponenteDAM.h"

#include "dam/BaseDAM.h"
#include "dam/Bloques.h"
#include "dam/Dialecto.h"
#include "dam/Direccion.h"
#include "dam/Parametros.h"
#include "data/Clases.h"
#include "data/Sentencias.h"

#include <algorithm>

using namespace dam;

namespace {

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
    ConexionDAM(std::shared_ptr<ComponenteDAM::Base> base, std::shared_ptr<EntidadDAM> entidad)
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

    std::vector<std::vector<QVariant>> todas() { return ejecutar(kTodasLasFilas).filas; }

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
            CitadorDelConector(EntidadDAM &entidad, const Conector &con) : entidad_(entidad), con_(con) { }
            QStringView citar(QStringView nombre) override
            {
                for (const auto &[conocido, citado] : entidad_.citados)
                    if (conocido.size() == nombre.size() && std::equal(nombre.begin(), nombre.end(), conocido.cbegin()))
                        return citado;
                const QString nuevo = nombre.toString();
                return entidad_.citados.emplace_back(nuevo, con_.citar(nuevo)).second;
            }

        private:
            EntidadDAM &entidad_;
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
    std::shared_ptr<EntidadDAM> entidad_;
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
        estado = std::make_shared<EntidadDAM>(EntidadDAM{entidad.toUpper(), base_->con().tomaCorchetes(), {}, {}});
    return std::make_unique<ConexionDAM>(base_, estado);
}

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
        const auto i = indice.constFind(fila.at(0).toString());
        if (i == indice.constEnd())
            filaAjena(mostrada());
        ++filas[*i];
    }
    return filas;
}

std::vector<std::vector<QVariant>> ComponenteDAM::leerFilas(const QString &entidad, const QString &sentencia)
{
    const auto cn = getDataConnectionByEntity(entidad);
    cn->setSQL(sentencia);
    return static_cast<ConexionDAM &>(*cn).todas();
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
