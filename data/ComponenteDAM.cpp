#include "ComponenteDAM.h"

#include "Dialecto.h"
#include "Parametros.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>

struct ComponenteDAM::Entidad {
    QSqlDatabase db;
    QString sql;
};

namespace {

class ConexionDAM final : public Conexion {
public:
    explicit ConexionDAM(std::shared_ptr<ComponenteDAM::Entidad> entidad) : entidad_(std::move(entidad)) {}

    void setSQL(const QString &sentencia) override { entidad_->sql = sentencia; }
    QString SQL() const override { return entidad_->sql; }

    QVariant crearrs(std::unique_ptr<Recordset> &rs) override
    {
        QSqlQuery q = ejecutar();
        if (!q.next()) {
            if (q.lastError().isValid())
                throw error(q);
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
        const QSqlQuery q = ejecutar();
        return q.numRowsAffected();
    }

private:
    QSqlQuery ejecutar()
    {
        const QString &sql = entidad_->sql;
        if (sql.trimmed().isEmpty())
            throw ErrorComponente(QStringLiteral("No hay ninguna sentencia que ejecutar."));
        if (tieneVariasSentencias(sql))
            throw ErrorComponente(QStringLiteral("La sentencia contiene más de una instrucción SQL y no se ejecuta:\n%1").arg(sql));

        QSqlDatabase &db = entidad_->db;
        const QString texto = adaptar(db, sql);
        QSqlQuery q(db);
        q.setForwardOnly(true);
        if (!q.exec(texto))
            throw error(q);
        return q;
    }

    // Drivers without [name] identifiers get the bracketed names in their own quoting.
    static QString adaptar(const QSqlDatabase &db, const QString &sql)
    {
        if (db.driverName() == QLatin1String("QSQLITE"))
            return sql;
        const QSqlDriver *driver = db.driver();
        return reescribirCorchetes(sql, [driver](const QString &nombre) {
            return driver->escapeIdentifier(nombre, QSqlDriver::FieldName);
        });
    }

    ErrorComponente error(const QSqlQuery &q) const
    {
        return ErrorComponente(QStringLiteral("Error de la base de datos al ejecutar la sentencia:\n%1\n%2")
                                   .arg(entidad_->sql, q.lastError().text()));
    }

    std::shared_ptr<ComponenteDAM::Entidad> entidad_;
};

} // namespace

ComponenteDAM::ComponenteDAM()
    : nombreConexion_(QStringLiteral("telquin-dam-") + QUuid::createUuid().toString(QUuid::WithoutBraces))
{
}

ComponenteDAM::~ComponenteDAM()
{
    entidades_.clear();
    if (db_.isValid()) {
        db_.close();
        db_ = QSqlDatabase();
        QSqlDatabase::removeDatabase(nombreConexion_);
    }
}

void ComponenteDAM::loadparameters()
{
    if (db_.isValid())
        return;
    db_ = abrirBaseDeDatos(resolverUrlBaseDeDatos(), nombreConexion_);
}

std::unique_ptr<Conexion> ComponenteDAM::getDataConnectionByEntity(const QString &entidad)
{
    if (!db_.isValid())
        throw ErrorComponente(QStringLiteral("El componente de datos no tiene parámetros: falta llamar a loadparameters."));
    auto &estado = entidades_[entidad.toUpper()];
    if (!estado)
        estado = std::make_shared<Entidad>(Entidad{db_, {}});
    return std::make_unique<ConexionDAM>(estado);
}
