// SPDX-License-Identifier: GPL-3.0-or-later
#include "lista/Indice.h"

#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QVariant>

#include <algorithm>
#include <string>

#include <sqlite3.h>

namespace {

// The headings of a position, kept as one text, one heading a line.
constexpr QChar kEntreEncabezados = u'\n';

const char *const kEsquema = R"(
CREATE TABLE lista(clave TEXT PRIMARY KEY, valor) WITHOUT ROWID;
CREATE TABLE partidas(
    orden INTEGER PRIMARY KEY,
    posicion TEXT NOT NULL,
    unidad TEXT NOT NULL,
    descripcion TEXT NOT NULL,
    encabezados TEXT NOT NULL);
CREATE VIRTUAL TABLE busqueda USING fts5(descripcion, encabezados, content='partidas', content_rowid='orden',
    tokenize='unicode61 remove_diacritics 2');
)";

// A prepared statement, finalized at the end of its scope.
class Sentencia {
public:
    Sentencia(sqlite3 *base, const char *sql)
    {
        if (sqlite3_prepare_v2(base, sql, -1, &s_, nullptr) != SQLITE_OK)
            s_ = nullptr;
    }
    ~Sentencia() { sqlite3_finalize(s_); }
    Sentencia(const Sentencia &) = delete;
    Sentencia &operator=(const Sentencia &) = delete;
    [[nodiscard]] sqlite3_stmt *get() const { return s_; }

private:
    sqlite3_stmt *s_ = nullptr;
};

void enlazar(sqlite3_stmt *s, int n, const QString &texto)
{
    const QByteArray utf8 = texto.toUtf8();
    sqlite3_bind_text(s, n, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

// A text that outlives the statement's step.
void enlazarFijo(sqlite3_stmt *s, int n, const QByteArray &utf8)
{
    sqlite3_bind_text(s, n, utf8.constData(), int(utf8.size()), SQLITE_STATIC);
}

QString columna(sqlite3_stmt *s, int n)
{
    const auto *texto = reinterpret_cast<const char *>(sqlite3_column_text(s, n));
    return texto ? QString::fromUtf8(texto, sqlite3_column_bytes(s, n)) : QString();
}

Partida partidaDeFila(sqlite3_stmt *s)
{
    Partida p;
    p.posicion = columna(s, 0);
    p.unidad = columna(s, 1);
    p.descripcion = columna(s, 2);
    const QString encabezados = columna(s, 3);
    if (!encabezados.isEmpty())
        p.encabezados = encabezados.split(kEntreEncabezados);
    return p;
}

} // namespace

QString consultaFts(const QString &palabras)
{
    QStringList partes;
    for (QString palabra : palabras.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts)) {
        if (std::none_of(palabra.begin(), palabra.end(), [](QChar c) { return c.isLetterOrNumber(); }))
            continue;
        palabra.replace(u'"', QStringLiteral("\"\""));
        partes << u'"' + palabra + QStringLiteral("\" *");
    }
    return partes.join(u' ');
}

EscritorDeIndice::EscritorDeIndice(const QString &ruta) : ruta_(ruta)
{
    const int r = sqlite3_open_v2(QFile::encodeName(ruta).constData(), &base_,
                                  SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (r != SQLITE_OK)
        fallar(QStringLiteral("no se puede crear"));
    // The file is a new one, renamed into place once whole: it needs no journal of
    // its own, and is synced once at its end.
    ejecutar("PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; PRAGMA locking_mode=EXCLUSIVE");
    ejecutar("BEGIN");
    ejecutar(kEsquema);
    const auto preparar = [&](const char *sql, sqlite3_stmt **s) {
        if (sqlite3_prepare_v2(base_, sql, -1, s, nullptr) != SQLITE_OK)
            fallar(QStringLiteral("no se puede preparar"));
    };
    preparar("INSERT INTO partidas(orden, posicion, unidad, descripcion, encabezados) VALUES (?, ?, ?, ?, ?)",
             &enPartidas_);
    preparar("INSERT INTO busqueda(rowid, descripcion, encabezados) VALUES (?, ?, ?)", &enBusqueda_);
}

EscritorDeIndice::~EscritorDeIndice()
{
    sqlite3_finalize(enPartidas_);
    sqlite3_finalize(enBusqueda_);
    sqlite3_close_v2(base_);
}

void EscritorDeIndice::ejecutar(const char *sql)
{
    if (sqlite3_exec(base_, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        fallar(QStringLiteral("no se puede escribir"));
}

void EscritorDeIndice::fallar(const QString &que)
{
    const QString motivo = base_ ? QString::fromUtf8(sqlite3_errmsg(base_)) : QStringLiteral("sin memoria");
    throw ErrorDeLista(QStringLiteral("%1 el índice de la lista %2: %3").arg(que, ruta_, motivo).toStdString());
}

void EscritorDeIndice::partida(const QString &posicion, const QString &unidad, const QString &descripcion,
                               const QStringList &encabezados)
{
    ++orden_;
    // Each text made UTF-8 once, for both statements.
    const QByteArray posicion8 = posicion.toUtf8();
    const QByteArray unidad8 = unidad.toUtf8();
    const QByteArray descripcion8 = descripcion.toUtf8();
    const QByteArray juntos8 = encabezados.join(kEntreEncabezados).toUtf8();
    sqlite3_bind_int64(enPartidas_, 1, orden_);
    enlazarFijo(enPartidas_, 2, posicion8);
    enlazarFijo(enPartidas_, 3, unidad8);
    enlazarFijo(enPartidas_, 4, descripcion8);
    enlazarFijo(enPartidas_, 5, juntos8);
    sqlite3_bind_int64(enBusqueda_, 1, orden_);
    enlazarFijo(enBusqueda_, 2, descripcion8);
    enlazarFijo(enBusqueda_, 3, juntos8);
    for (sqlite3_stmt *s : {enPartidas_, enBusqueda_}) {
        const int r = sqlite3_step(s);
        sqlite3_reset(s);
        // The texts are bound without a copy: no statement keeps them past here.
        sqlite3_clear_bindings(s);
        if (r != SQLITE_DONE)
            fallar(QStringLiteral("no se puede escribir"));
    }
}

void EscritorDeIndice::terminar(const DatosDeLista &d)
{
    {
        Sentencia dato(base_, "INSERT INTO lista(clave, valor) VALUES (?, ?)");
        if (!dato.get())
            fallar(QStringLiteral("no se puede escribir"));
        const auto guardar = [&](const char *clave, const QVariant &valor) {
            sqlite3_bind_text(dato.get(), 1, clave, -1, SQLITE_STATIC);
            if (valor.typeId() == QMetaType::LongLong)
                sqlite3_bind_int64(dato.get(), 2, valor.toLongLong());
            else
                enlazar(dato.get(), 2, valor.toString());
            if (sqlite3_step(dato.get()) != SQLITE_DONE)
                fallar(QStringLiteral("no se puede escribir"));
            sqlite3_reset(dato.get());
        };
        guardar("archivo", d.archivo);
        guardar("tamano", d.tamano);
        guardar("sha256", d.sha256);
        guardar("fecha", d.fecha.isValid() ? d.fecha.toString(Qt::ISODate) : QString());
        guardar("importada", d.importada.toUTC().toString(Qt::ISODate));
        guardar("posiciones", d.posiciones);
        guardar("encabezados", d.encabezados);
        guardar("otrosTipos", d.otrosTipos);
        guardar("ilegibles", d.ilegibles);
        guardar("letrasDistintas", d.letrasDistintas);
        guardar("unidadesDesconocidas", d.unidadesDesconocidas);
    }
    ejecutar("CREATE INDEX partidas_posicion ON partidas(posicion)");
    ejecutar("INSERT INTO busqueda(busqueda) VALUES('optimize')");
    ejecutar(("PRAGMA user_version=" + std::to_string(kVersionDeIndice)).c_str());
    ejecutar("COMMIT");
    sqlite3_finalize(enPartidas_);
    sqlite3_finalize(enBusqueda_);
    enPartidas_ = enBusqueda_ = nullptr;
    if (sqlite3_close(base_) != SQLITE_OK)
        fallar(QStringLiteral("no se puede cerrar"));
    base_ = nullptr;
}

IndiceSqlite::IndiceSqlite(const QString &ruta)
{
    datos_.ruta = ruta;
    if (sqlite3_open_v2(QFile::encodeName(ruta).constData(), &base_, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX,
                        nullptr)
        != SQLITE_OK)
        fallar(QStringLiteral("no se puede abrir"));
    leerDatos();
}

IndiceSqlite::~IndiceSqlite() { sqlite3_close_v2(base_); }

void IndiceSqlite::fallar(const QString &que) const
{
    const QString motivo = base_ ? QString::fromUtf8(sqlite3_errmsg(base_)) : QStringLiteral("sin memoria");
    throw ErrorDeLista(
        QStringLiteral("La lista oficial %1 %2: %3. Vuelva a importarla con: telquin lista importar ARCHIVO")
            .arg(datos_.ruta, que, motivo)
            .toStdString());
}

void IndiceSqlite::leerDatos()
{
    Sentencia version(base_, "PRAGMA user_version");
    if (!version.get() || sqlite3_step(version.get()) != SQLITE_ROW)
        fallar(QStringLiteral("no se puede leer"));
    if (sqlite3_column_int(version.get(), 0) != kVersionDeIndice) {
        sqlite3_close_v2(base_);
        base_ = nullptr;
        throw ErrorDeLista(QStringLiteral("La lista oficial %1 no es un índice de esta versión de Telquin. Vuelva a "
                                          "importarla con: telquin lista importar ARCHIVO")
                               .arg(datos_.ruta)
                               .toStdString());
    }
    Sentencia filas(base_, "SELECT clave, valor FROM lista");
    if (!filas.get())
        fallar(QStringLiteral("no se puede leer"));
    QHash<QString, QString> valores;
    int r;
    while ((r = sqlite3_step(filas.get())) == SQLITE_ROW)
        valores.insert(columna(filas.get(), 0), columna(filas.get(), 1));
    if (r != SQLITE_DONE)
        fallar(QStringLiteral("no se puede leer"));
    datos_.archivo = valores.value(QStringLiteral("archivo"));
    datos_.tamano = valores.value(QStringLiteral("tamano")).toLongLong();
    datos_.sha256 = valores.value(QStringLiteral("sha256"));
    datos_.fecha = QDate::fromString(valores.value(QStringLiteral("fecha")), Qt::ISODate);
    datos_.importada = QDateTime::fromString(valores.value(QStringLiteral("importada")), Qt::ISODate);
    datos_.posiciones = valores.value(QStringLiteral("posiciones")).toLongLong();
    datos_.encabezados = valores.value(QStringLiteral("encabezados")).toLongLong();
    datos_.otrosTipos = valores.value(QStringLiteral("otrosTipos")).toLongLong();
    datos_.ilegibles = valores.value(QStringLiteral("ilegibles")).toLongLong();
    datos_.letrasDistintas = valores.value(QStringLiteral("letrasDistintas")).toLongLong();
    datos_.unidadesDesconocidas = valores.value(QStringLiteral("unidadesDesconocidas")).toLongLong();
}

std::optional<Partida> IndiceSqlite::partida(const QString &posicion) const
{
    Sentencia s(base_,
                "SELECT posicion, unidad, descripcion, encabezados FROM partidas WHERE posicion = ? ORDER BY orden "
                "LIMIT 1");
    if (!s.get())
        fallar(QStringLiteral("no se puede leer"));
    enlazar(s.get(), 1, posicion);
    const int r = sqlite3_step(s.get());
    if (r == SQLITE_ROW)
        return partidaDeFila(s.get());
    if (r != SQLITE_DONE)
        fallar(QStringLiteral("no se puede leer"));
    return std::nullopt;
}

void IndiceSqlite::recorrer(const std::function<void(const QString &, const QString &)> &f) const
{
    Sentencia s(base_, "SELECT posicion, unidad FROM partidas ORDER BY posicion, orden");
    if (!s.get())
        fallar(QStringLiteral("no se puede leer"));
    int r;
    while ((r = sqlite3_step(s.get())) == SQLITE_ROW)
        f(columna(s.get(), 0), columna(s.get(), 1));
    if (r != SQLITE_DONE)
        fallar(QStringLiteral("no se puede leer"));
}

std::vector<Partida> IndiceSqlite::buscar(const QString &palabras, int maximo) const
{
    std::vector<Partida> halladas;
    const QString consulta = consultaFts(palabras);
    if (consulta.isEmpty() || maximo <= 0)
        return halladas;
    Sentencia s(base_,
                "SELECT p.posicion, p.unidad, p.descripcion, p.encabezados FROM busqueda JOIN partidas p ON p.orden = "
                "busqueda.rowid WHERE busqueda MATCH ? ORDER BY busqueda.rank, p.orden LIMIT ?");
    if (!s.get())
        fallar(QStringLiteral("no se puede leer"));
    enlazar(s.get(), 1, consulta);
    sqlite3_bind_int(s.get(), 2, maximo);
    int r;
    while ((r = sqlite3_step(s.get())) == SQLITE_ROW)
        halladas.push_back(partidaDeFila(s.get()));
    if (r != SQLITE_DONE)
        fallar(QStringLiteral("no se puede buscar en"));
    return halladas;
}

std::vector<Partida> IndiceSqlite::bajo(const QString &prefijo, int maximo) const
{
    std::vector<Partida> halladas;
    Sentencia s(base_,
                "SELECT posicion, unidad, descripcion, encabezados FROM partidas WHERE posicion >= ?1 AND posicion < "
                "?1 || '~' ORDER BY orden LIMIT ?2");
    if (!s.get())
        fallar(QStringLiteral("no se puede leer"));
    enlazar(s.get(), 1, prefijo);
    sqlite3_bind_int(s.get(), 2, maximo);
    int r;
    while ((r = sqlite3_step(s.get())) == SQLITE_ROW)
        halladas.push_back(partidaDeFila(s.get()));
    if (r != SQLITE_DONE)
        fallar(QStringLiteral("no se puede leer"));
    return halladas;
}
