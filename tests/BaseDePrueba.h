// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A fresh copy of the sample table for each test. TELQUIN_TEST_DB chooses where:
// unset or "sqlite" gives a new file in a temporary directory; a postgresql:// or
// odbc: URL names a server database whose table NCM is dropped and loaded again;
// "postgresql", "odbc" or "odbc-dsn" takes that URL from the urls.json that
// scripts/servidor-prueba wrote in the directory TELQUIN_SERVIDOR ("odbc-dsn" goes
// through its data source, and needs ODBCSYSINI and ODBCINI as urls.json sets them).
// The sample is loaded by sqlite3 or psql, as a user would load it.

#include "dam/Apertura.h"

#include <QFile>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QTemporaryDir>
#include <QUuid>

#include <memory>
#include <stdexcept>

// The settings of the server in DIR (DIR/urls.json); empty when there is none.
inline QHash<QString, QString> urlsDelServidor(const QString &dir)
{
    QHash<QString, QString> urls;
    QFile archivo(dir + QStringLiteral("/urls.json"));
    if (!archivo.open(QIODevice::ReadOnly))
        return urls;
    const QJsonObject objeto = QJsonDocument::fromJson(archivo.readAll()).object();
    for (auto it = objeto.begin(); it != objeto.end(); ++it)
        urls.insert(it.key(), it.value().toString());
    return urls;
}

// The URL of a backend named "postgresql", "odbc" or "odbc-dsn" on the server of
// TELQUIN_SERVIDOR; any other text is returned as it is.
inline QString urlDePrueba(const QString &elegida)
{
    const QString clave = elegida == QLatin1String("postgresql") ? QStringLiteral("TELQUIN_PG_URL")
        : elegida == QLatin1String("odbc")                       ? QStringLiteral("TELQUIN_ODBC_URL")
        : elegida == QLatin1String("odbc-dsn")                   ? QStringLiteral("TELQUIN_ODBC_DSN_URL")
                                                                 : QString();
    if (clave.isEmpty())
        return elegida;
    const QString dir = qEnvironmentVariable("TELQUIN_SERVIDOR");
    const QString url = urlsDelServidor(dir).value(clave);
    if (url.isEmpty())
        throw std::runtime_error(("no hay servidor de prueba en TELQUIN_SERVIDOR=\"" + dir + "\"").toStdString());
    return url;
}

// The position of extra row i (see BaseDePrueba::filasExtra).
inline QString posicionExtra(int i) { return QString::asprintf("77%02d.%02d.00.000A", i / 100, i % 100); }

class BaseDePrueba {
public:
    explicit BaseDePrueba(const QString &eleccion = qEnvironmentVariable("TELQUIN_TEST_DB"))
    {
        const QString elegida = urlDePrueba(eleccion);
        if (elegida.isEmpty() || elegida == QLatin1String("sqlite")) {
            dir_ = std::make_unique<QTemporaryDir>();
            ruta_ = dir_->filePath(QStringLiteral("ncm.sqlite"));
            url_ = QStringLiteral("sqlite:") + ruta_;
            db_ = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), nombre_);
            db_.setDatabaseName(ruta_);
        } else {
            url_ = elegida;
            db_ = abrirBaseDeDatos(leerDireccion(elegida), nombre_);
        }
        if (!db_.isOpen() && !db_.open())
            throw std::runtime_error(db_.lastError().text().toStdString());
        QSqlQuery(db_).exec(QStringLiteral("DROP TABLE IF EXISTS NCM"));
        cargarMuestra(eleccion);
    }

    ~BaseDePrueba()
    {
        db_.close();
        db_ = QSqlDatabase();
        QSqlDatabase::removeDatabase(nombre_);
    }

    [[nodiscard]] const QString &url() const { return url_; }
    [[nodiscard]] const QString &ruta() const { return ruta_; }
    [[nodiscard]] bool esSqlite() const { return !ruta_.isEmpty(); }
    QSqlDatabase &db() { return db_; }

    // A new session, for after the server went away and came back.
    void reabrir()
    {
        db_.close();
        if (!db_.open())
            throw std::runtime_error(db_.lastError().text().toStdString());
    }

    void ejecutar(const QString &sql)
    {
        QSqlQuery q(db_);
        if (!q.exec(sql))
            throw std::runtime_error((sql + QStringLiteral(": ") + q.lastError().text()).toStdString());
    }

    // Every row as "001|002|003|012", in key order; a null unit shows as <null>.
    // `cuantas` more rows, 77ii.jj.00.000A with unit 01, and a batch giving each 02.
    QByteArray filasExtra(int cuantas)
    {
        const QString ultima = QString::number(cuantas - 1);
        ejecutar(
            esSqlite() ? "WITH RECURSIVE s(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM s WHERE i < " + ultima
                    + ") INSERT INTO NCM SELECT printf('77%02d.%02d.00', i / 100, i % 100), '000', 'A', '01' FROM s"
                       : "INSERT INTO NCM SELECT '77' || lpad((i / 100)::text, 2, '0') || '.' || "
                         "lpad((i % 100)::text, 2, '0') || '.00', '000', 'A', '01' FROM generate_series(0, "
                    + ultima + ") AS i");
        QByteArray lote;
        for (int i = 0; i < cuantas; ++i)
            lote += posicionExtra(i).toLatin1() + ",2\n";
        return lote;
    }

    [[nodiscard]] QStringList filas()
    {
        QSqlQuery q(db_);
        q.exec(QStringLiteral(R"(SELECT "001", "002", "003", "012" FROM NCM ORDER BY "001", "002", "003")"));
        QStringList salida;
        while (q.next()) {
            const QString unidad = q.isNull(3) ? QStringLiteral("<null>") : q.value(3).toString();
            salida << QStringList{q.value(0).toString(), q.value(1).toString(), q.value(2).toString(), unidad}.join(
                u'|');
        }
        return salida;
    }

    [[nodiscard]] QString unidad(const QString &k1, const QString &k2, const QString &k3)
    {
        QSqlQuery q(db_);
        q.prepare(QStringLiteral(R"(SELECT "012" FROM NCM WHERE "001" = ? AND "002" = ? AND "003" = ?)"));
        q.addBindValue(k1);
        q.addBindValue(k2);
        q.addBindValue(k3);
        q.exec();
        if (!q.next())
            return QStringLiteral("<sin fila>");
        return q.isNull(0) ? QStringLiteral("<null>") : q.value(0).toString();
    }

    // NCM made again with one column declared otherwise (`columna`, its declaration,
    // starting with its name), keeping its rows (`valor`, how that column's values are
    // carried over), as a host's table may be.
    void recrearConColumna(const QString &columna, const QString &valor)
    {
        const QString nombre = columna.section(u' ', 0, 0);
        QStringList columnas;
        QStringList valores;
        for (const QString c : {"\"001\"", "\"002\"", "\"003\"", "\"012\""}) {
            const bool esta = c == nombre;
            columnas << (esta ? columna : c + (c == "\"012\"" ? " TEXT" : " TEXT NOT NULL"));
            valores << (esta ? valor : c);
        }
        ejecutar("DROP TABLE IF EXISTS ncm_nueva");
        ejecutar("CREATE TABLE ncm_nueva (" + columnas.join(", ") + ", PRIMARY KEY (\"001\", \"002\", \"003\"))");
        ejecutar("INSERT INTO ncm_nueva SELECT " + valores.join(", ") + " FROM NCM");
        ejecutar("DROP TABLE NCM");
        ejecutar("ALTER TABLE ncm_nueva RENAME TO NCM");
    }

    // The same, for a position text ("8901.10.00.000L").
    [[nodiscard]] QString unidadDe(const QString &posicion)
    {
        return unidad(posicion.left(10), posicion.mid(11, 3), posicion.mid(14, 1));
    }

private:
    void cargarMuestra(const QString &eleccion)
    {
        QProcess carga;
        carga.setStandardInputFile(QStringLiteral(TELQUIN_SAMPLE_SQL));
        if (esSqlite()) {
            carga.start(QStringLiteral("sqlite3"), {QStringLiteral("-bail"), ruta_});
        } else {
            // The server's own settings, or, for an address given as it is, that address.
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            const auto urls = urlsDelServidor(qEnvironmentVariable("TELQUIN_SERVIDOR"));
            for (const char *clave : {"PGHOST", "PGPORT", "PGDATABASE", "PGUSER", "PGPASSWORD"})
                if (urls.contains(QLatin1String(clave)))
                    env.insert(QLatin1String(clave), urls.value(QLatin1String(clave)));
            carga.setProcessEnvironment(env);
            QStringList args{QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-v"),
                             QStringLiteral("ON_ERROR_STOP=1")};
            if (urlDePrueba(eleccion) == eleccion && eleccion.startsWith(QLatin1String("postgresql://")))
                args << QStringLiteral("-d") << eleccion;
            carga.start(QStringLiteral("psql"), args);
        }
        if (!carga.waitForFinished(60000) || carga.exitStatus() != QProcess::NormalExit || carga.exitCode() != 0)
            throw std::runtime_error("no se pudo cargar la muestra: " + carga.readAllStandardError().toStdString());
    }

    const QString nombre_ = QStringLiteral("prueba-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    std::unique_ptr<QTemporaryDir> dir_;
    QString ruta_;
    QString url_;
    QSqlDatabase db_;
};
