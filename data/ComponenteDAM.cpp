#include "ComponenteDAM.h"

#include "Apertura.h"
#include "Causas.h"
#include "Dialecto.h"
#include "Direccion.h"
#include "Parametros.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>

#include <map>

namespace {

struct Entidad {
    QString nombre;
    bool conCorchetes; // SQLite takes [name] identifiers as they are
    QString sql;
    QHash<QString, QString> citados;
};

} // namespace

struct ComponenteDAM::Base {
    QString nombreConexion;
    QSqlDatabase db;
    int espera = kEsperaPorDefecto;
    QString visible;
    QStringList clavesOcultas;
    std::map<QString, std::shared_ptr<Entidad>> entidades;
};

namespace {

// A server that no longer answers fails the simplest statement too. Asking costs a
// round trip, and only after a failure.
bool conexionPerdida(const QSqlDatabase &db)
{
    if (db.driverName() == QLatin1String("QSQLITE"))
        return false;
    // QPSQL closes the database itself when it sees the connection gone.
    if (!db.isOpen())
        return true;
    QSqlQuery prueba(db);
    return !prueba.exec(QStringLiteral("SELECT 1"));
}

class ConexionDAM final : public Conexion {
public:
    ConexionDAM(std::shared_ptr<ComponenteDAM::Base> base, std::shared_ptr<Entidad> entidad)
        : base_(std::move(base)), entidad_(std::move(entidad))
    {
    }

    void setSQL(const QString &sentencia) override { entidad_->sql = sentencia; }
    QString SQL() const override { return entidad_->sql; }

    QVariant crearrs(std::unique_ptr<Recordset> &rs) override
    {
        QSqlQuery q = ejecutar();
        if (!q.next()) {
            if (q.lastError().isValid())
                fallar(q.lastError(), false);
            return false;
        }
        const QSqlRecord registro = q.record();
        QHash<QString, QVariant> campos;
        for (int i = 0; i < registro.count(); ++i)
            campos.insert(registro.fieldName(i), registro.isNull(i) ? QVariant() : registro.value(i));
        // Done with the statement: on SQLite an unfinished query keeps the file locked.
        q.finish();
        if (!rs)
            rs = std::make_unique<Recordset>();
        rs->ponerFila(std::move(campos));
        return true;
    }

    QVariant Ejecutar() override
    {
        return ejecutar().numRowsAffected();
    }

private:
    QSqlQuery ejecutar()
    {
        const QString &sql = entidad_->sql;
        if (sql.trimmed().isEmpty())
            throw ErrorComponente(QStringLiteral("No hay ninguna sentencia que ejecutar."));

        QSqlDatabase &db = base_->db;
        // Drivers without [name] identifiers get the bracketed names in their own
        // quoting, worked out once per name.
        const QSqlDriver *driver = db.driver();
        const Citador citar = [this, driver](const QString &nombre) {
            auto citado = entidad_->citados.constFind(nombre);
            if (citado == entidad_->citados.constEnd())
                citado = entidad_->citados.insert(nombre, driver->escapeIdentifier(nombre, QSqlDriver::FieldName));
            return *citado;
        };
        const bool conCorchetes = entidad_->conCorchetes;
        const SentenciaAdaptada sentencia = adaptarSentencia(sql, conCorchetes ? nullptr : &citar);
        if (sentencia.varias)
            throw ErrorComponente(QStringLiteral("La sentencia contiene más de una instrucción SQL y no se ejecuta:\n%1").arg(sql));
        const QString &texto = conCorchetes ? sql : sentencia.texto;

        QSqlQuery q(db);
        q.setForwardOnly(true);
        if (db.isOpen() && q.exec(texto))
            return q;
        if (!conexionPerdida(db))
            fallar(q.lastError(), false);

        // Both statements may safely run twice: a lookup, and an update that sets a
        // value. So a connection lost (a server restarted, a link dropped overnight)
        // gets one new connection and one more try.
        if (!reabrirBaseDeDatos(db, base_->espera))
            fallar(db.lastError(), true);
        QSqlQuery otra(db);
        otra.setForwardOnly(true);
        if (!otra.exec(texto))
            fallar(otra.lastError(), conexionPerdida(db));
        return otra;
    }

    [[noreturn]] void fallar(const QSqlError &e, bool perdida) const
    {
        const ComponenteDAM::Base &base = *base_;
        CausaDeFallo causa;
        if (perdida)
            causa.texto = QStringLiteral("se perdió la conexión con el servidor de la base de datos y no se pudo restablecer");
        else
            causa = causaDeSentencia(e, base.db.driverName(), entidad_->nombre, base.espera);
        QString mensaje = QStringLiteral("Error de la base de datos al ejecutar la sentencia: %1.\n%2").arg(causa.texto, entidad_->sql);
        const QString textoDriver = sinClaves(e.text().trimmed(), base.clavesOcultas);
        if (!textoDriver.isEmpty())
            mensaje += u'\n' + textoDriver;
        if (causa.ocupado)
            throw ErrorOcupado(mensaje);
        throw ErrorComponente(mensaje);
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
    base_->db.close();
    base_->db = QSqlDatabase();
    QSqlDatabase::removeDatabase(base_->nombreConexion);
}

void ComponenteDAM::loadparameters()
{
    if (base_)
        return;
    const ParametrosDAM parametros = resolverParametros();
    const Direccion direccion = leerDireccion(parametros.url);
    auto base = std::make_shared<Base>();
    base->nombreConexion = QStringLiteral("telquin-dam-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    base->espera = direccion.espera > 0 ? direccion.espera : parametros.espera;
    base->visible = direccion.visible;
    base->clavesOcultas = direccion.clavesOcultas;
    base->db = abrirBaseDeDatos(parametros.url, base->nombreConexion, base->espera);
    base_ = std::move(base);
}

std::unique_ptr<Conexion> ComponenteDAM::getDataConnectionByEntity(const QString &entidad)
{
    if (!base_)
        throw ErrorComponente(QStringLiteral("El componente de datos no tiene parámetros: falta llamar a loadparameters."));
    auto &estado = base_->entidades[entidad.toUpper()];
    if (!estado)
        estado = std::make_shared<Entidad>(Entidad{entidad.toUpper(), base_->db.driverName() == QLatin1String("QSQLITE"), {}, {}});
    return std::make_unique<ConexionDAM>(base_, estado);
}

QString ComponenteDAM::direccion() const
{
    return base_ ? base_->visible : QString();
}
