#include "ComponenteDAM.h"

#include "Dialecto.h"
#include "Parametros.h"

#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>

struct ComponenteDAM::Entidad {
    QSqlDatabase db;
    QString nombre;
    bool conCorchetes; // SQLite takes [name] identifiers as they are
    QString sql;
    QHash<QString, QString> citados;
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

// Why the statement failed, in the user's words. QPSQL gives the SQLSTATE, QSQLITE
// SQLite's result code; QODBC gives neither (only the driver's own number), so its
// drivers' texts are read as well.
QString causaDeSentencia(const QSqlDatabase &db, const QSqlError &e, const QString &entidad)
{
    if (conexionPerdida(db))
        return QStringLiteral("se perdió la conexión con el servidor de la base de datos");
    const QString codigo = e.nativeErrorCode();
    const QString texto = e.databaseText();
    const bool sqlite = db.driverName() == QLatin1String("QSQLITE");
    const int codigoSqlite = sqlite ? codigo.toInt() & 0xff : -1;

    static const QRegularExpression relacionQueFalta(QStringLiteral("relation \"[^\"]*\" does not exist"));
    if (codigo == QLatin1String("42P01") || relacionQueFalta.match(texto).hasMatch()
        || contiene(texto, {"no such table", "Invalid object name"}))
        return QStringLiteral("la tabla %1 no existe en la base de datos").arg(entidad);
    if (codigoSqlite == 8 || codigo == QLatin1String("25006")
        || contiene(texto, {"readonly database", "read-only transaction"}))
        return QStringLiteral("la base de datos es de solo lectura y no admite cambios");
    if (codigo == QLatin1String("42501") || contiene(texto, {"permission denied"}))
        return QStringLiteral("el usuario de la base de datos no tiene permiso sobre la tabla %1").arg(entidad);
    if (codigoSqlite == 5 || codigoSqlite == 6 || codigo == QLatin1String("55P03") || codigo == QLatin1String("40P01")
        || contiene(texto, {"database is locked", "deadlock detected"}))
        return QStringLiteral("otro usuario tiene ocupada la tabla %1; vuelva a intentarlo").arg(entidad);
    if (codigoSqlite == 11 || codigoSqlite == 26 || contiene(texto, {"malformed"}))
        return QStringLiteral("el archivo de la base de datos está dañado");
    return QStringLiteral("la base de datos rechazó la sentencia");
}

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
        return ejecutar().numRowsAffected();
    }

private:
    QSqlQuery ejecutar()
    {
        const QString &sql = entidad_->sql;
        if (sql.trimmed().isEmpty())
            throw ErrorComponente(QStringLiteral("No hay ninguna sentencia que ejecutar."));

        QSqlDatabase &db = entidad_->db;
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

        if (!db.isOpen())
            throw error(QSqlError());
        QSqlQuery q(db);
        q.setForwardOnly(true);
        if (!q.exec(conCorchetes ? sql : sentencia.texto))
            throw error(q);
        return q;
    }

    ErrorComponente error(const QSqlQuery &q) const { return error(q.lastError()); }

    ErrorComponente error(const QSqlError &e) const
    {
        QString mensaje = QStringLiteral("Error de la base de datos al ejecutar la sentencia: %1.\n%2")
                              .arg(causaDeSentencia(entidad_->db, e, entidad_->nombre), entidad_->sql);
        const QString textoDriver = e.text().trimmed();
        if (!textoDriver.isEmpty())
            mensaje += u'\n' + textoDriver;
        return ErrorComponente(mensaje);
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
        estado = std::make_shared<Entidad>(Entidad{db_, entidad.toUpper(), db_.driverName() == QLatin1String("QSQLITE"), {}, {}});
    return std::make_unique<ConexionDAM>(estado);
}
