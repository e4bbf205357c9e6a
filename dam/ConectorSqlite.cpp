// SPDX-License-Identifier: GPL-3.0-or-later
#include "dam/ConectorSqlite.h"

#include "dam/Apertura.h"
#include "dam/Detencion.h"
#include "dam/FormaSqlite.h"

#include <sqlite3.h>

#include <QByteArray>

#include <algorithm>
#include <utility>
#include <vector>

namespace {

// What SQLite said of the last call on the connection. Its texts are never translated.
Fallo falloDe(sqlite3 *db)
{
    const QString texto = QString::fromUtf8(sqlite3_errmsg(db));
    return Fallo{texto, texto, sqlite3_extended_errcode(db), {}, false};
}

// A value as Qt's SQLite driver gave it: an integer as qlonglong, text as QString.
QVariant valorDe(sqlite3_stmt *sentencia, int columna)
{
    switch (sqlite3_column_type(sentencia, columna)) {
    case SQLITE_INTEGER:
        return qlonglong(sqlite3_column_int64(sentencia, columna));
    case SQLITE_FLOAT:
        return sqlite3_column_double(sentencia, columna);
    case SQLITE_BLOB:
        return QByteArray(static_cast<const char *>(sqlite3_column_blob(sentencia, columna)),
                          sqlite3_column_bytes(sentencia, columna));
    case SQLITE_NULL:
        return {};
    default:
        break;
    }
    const auto *texto = reinterpret_cast<const char *>(sqlite3_column_text(sentencia, columna));
    return QString::fromUtf8(texto, sqlite3_column_bytes(sentencia, columna));
}

void interrumpir(void *datos)
{
    auto &parada = *static_cast<Detencion *>(datos);
    parada.pedida = 1;
    // Safe from a signal handler: the sqlite3 shell's own Ctrl+C calls it.
    if (parada.sqlite)
        sqlite3_interrupt(static_cast<sqlite3 *>(parada.sqlite));
}

class ConectorSqlite final : public Conector {
public:
    ConectorSqlite(const Direccion &d, int espera) : uri_(uriSqlite(archivoSqlite(d)).toUtf8())
    {
        parada_.espera = std::chrono::seconds(espera);
        if (sqlite3 *const abierta = abrir()) {
            parada_.sqlite = abierta;
            return;
        }
        const QString textoDriver = textoDeApertura_;
        const QString mensaje
            = QStringLiteral("No se puede abrir la base de datos %1: %2.").arg(d.visible, causaDeApertura(textoDriver));
        throw ErrorComponente(textoDriver.isEmpty() ? mensaje : mensaje + u'\n' + textoDriver);
    }

    ~ConectorSqlite() override
    {
        finalizarSentencias();
        sqlite3_close(db());
    }

    ConectorSqlite(const ConectorSqlite &) = delete;
    ConectorSqlite &operator=(const ConectorSqlite &) = delete;

    bool tomaCorchetes() const override { return true; }
    QString citar(const QString &nombre) const override
    {
        return u'"' + QString(nombre).replace(u'"', QStringLiteral("\"\"")) + u'"';
    }
    bool transmite(QStringView) const override { return true; }
    std::optional<DialectoDeBloque> dialecto() const override { return DialectoDeBloque::Sqlite; }
    bool guardaDesenlaces() const override { return false; }
    // The database is a file this process reads: there is no connection to lose.
    bool conexionPerdida() override { return false; }

    std::optional<Fallo> reabrir() override
    {
        sqlite3 *const nueva = abrir();
        if (!nueva)
            return Fallo{textoDeApertura_, textoDeApertura_, SQLITE_CANTOPEN, {}, true};
        sqlite3 *const vieja = db();
        finalizarSentencias();
        parada_.sqlite = nueva;
        sqlite3_close(vieja);
        return std::nullopt;
    }

    Respuesta ejecutar(const QString &texto, std::size_t maxFilas) override
    {
        Respuesta r;
        const QByteArray utf8 = texto.toUtf8();
        if (const std::optional<FormaDeSentencia> forma = formaConParametros(utf8))
            if (sqlite3_stmt *const preparada = preparadaPara(forma->texto)) {
                for (std::size_t i = 0; i < forma->valores.size(); ++i) {
                    const QByteArray &v = forma->valores[i];
                    sqlite3_bind_text(preparada, int(i + 1), v.constData(), int(v.size()), SQLITE_STATIC);
                }
                leer(preparada, maxFilas, r);
                // Done with it: an unfinished statement keeps the file locked.
                sqlite3_reset(preparada);
                sqlite3_clear_bindings(preparada);
                return r;
            }
        sqlite3_stmt *sentencia = nullptr;
        if (sqlite3_prepare_v2(db(), utf8.constData(), int(utf8.size()), &sentencia, nullptr) != SQLITE_OK) {
            r.fallo = falloDe(db());
            return r;
        }
        // A text of comments alone is no statement, and does nothing.
        if (!sentencia) {
            r.afectadas = 0;
            return r;
        }
        leer(sentencia, maxFilas, r);
        sqlite3_finalize(sentencia);
        return r;
    }

    Respuesta consultarBloque(const QString &json, bool bloquear) override
    {
        return conJson(
            bloquear ? consultaBloqueada_ : consulta_,
            [&] { return consultaEnBloqueDesde(DialectoDeBloque::Sqlite, QStringLiteral("?1"), bloquear); }, json);
    }

    Respuesta actualizarBloque(const QString &json) override
    {
        return conJson(
            update_, [] { return updateEnBloqueDesde(DialectoDeBloque::Sqlite, QStringLiteral("?1")); }, json);
    }

    // The write lock is taken as the transaction begins, so that no other writer can
    // make one of its statements wait halfway; with it, no stricter isolation is needed.
    std::optional<Fallo> comenzar(Transacciones::Aislamiento) override { return paso("BEGIN IMMEDIATE"); }
    // SQLite commits in this process: its failure is always known, and it stored nothing.
    std::optional<Fallo> confirmar() override { return paso("COMMIT"); }
    // When this fails the transaction has already ended: SQLite rolled it back itself.
    void revertir() noexcept override { (void)paso("ROLLBACK"); }

    FilasEnBloque::Cancelacion cancelacion() override { return {&interrumpir, &parada_}; }
    bool detenida() const override { return parada_.pedida != 0; }

private:
    sqlite3 *db() const { return static_cast<sqlite3 *>(parada_.sqlite); }

    // A connection to the file, its causes in extended codes, and its waits for a busy
    // file given way to a stop; null when it cannot be opened (textoDeApertura_ says
    // why).
    sqlite3 *abrir()
    {
        // The library counts every allocation under a lock of its own unless told not
        // to before its first use; nothing here reads the counts. A connection is used
        // by one thread at a time (a signal handler only interrupts it), so it needs
        // no lock either.
        static const bool sinCuentas = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0) == SQLITE_OK;
        Q_UNUSED(sinCuentas);
        sqlite3 *nueva = nullptr;
        const int codigo = sqlite3_open_v2(uri_.constData(), &nueva,
                                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX, nullptr);
        if (codigo != SQLITE_OK) {
            textoDeApertura_ = QString::fromUtf8(nueva ? sqlite3_errmsg(nueva) : sqlite3_errstr(codigo));
            sqlite3_close(nueva);
            return nullptr;
        }
        sqlite3_extended_result_codes(nueva, 1);
        sqlite3_busy_handler(nueva, &esperarArchivoOcupado, &parada_);
        return nueva;
    }

    // The prepared statements belong to the connection open now, which closes only
    // once they are gone.
    void finalizarSentencias()
    {
        for (sqlite3_stmt **s : {&consulta_, &consultaBloqueada_, &update_}) {
            sqlite3_finalize(*s);
            *s = nullptr;
        }
        for (auto &[forma, sentencia] : formas_)
            sqlite3_finalize(sentencia);
        formas_.clear();
    }

    // The statement of a form, prepared once and kept among the last few used; none
    // when the form cannot be prepared (the statement's own text then says why).
    sqlite3_stmt *preparadaPara(const QByteArray &forma)
    {
        for (std::size_t i = 0; i < formas_.size(); ++i)
            if (formas_[i].first == forma) {
                std::rotate(formas_.begin(), formas_.begin() + qsizetype(i), formas_.begin() + qsizetype(i) + 1);
                return formas_.front().second;
            }
        sqlite3_stmt *sentencia = nullptr;
        if (sqlite3_prepare_v3(db(), forma.constData(), int(forma.size()), SQLITE_PREPARE_PERSISTENT, &sentencia,
                               nullptr)
                != SQLITE_OK
            || !sentencia) {
            sqlite3_finalize(sentencia);
            return nullptr;
        }
        if (formas_.size() == kFormasGuardadas) {
            sqlite3_finalize(formas_.back().second);
            formas_.pop_back();
        }
        formas_.insert(formas_.begin(), {forma, sentencia});
        return sentencia;
    }

    // Steps through the statement: up to maxFilas rows read, or, with none, to its end
    // and the number of rows it changed.
    void leer(sqlite3_stmt *sentencia, std::size_t maxFilas, Respuesta &r)
    {
        const int columnas = sqlite3_column_count(sentencia);
        int estado = SQLITE_ROW;
        while ((maxFilas == 0 || r.filas.size() < maxFilas) && (estado = sqlite3_step(sentencia)) == SQLITE_ROW) {
            if (maxFilas == 0)
                continue;
            if (r.columnas.empty())
                for (int i = 0; i < columnas; ++i)
                    // Qt's driver gave the names without their double quotes.
                    r.columnas.push_back(QString::fromUtf8(sqlite3_column_name(sentencia, i)).remove(u'"'));
            std::vector<QVariant> fila;
            fila.reserve(std::size_t(columnas));
            for (int i = 0; i < columnas; ++i)
                fila.push_back(valorDe(sentencia, i));
            r.filas.push_back(std::move(fila));
        }
        if (estado != SQLITE_ROW && estado != SQLITE_DONE) {
            r.fallo = falloDe(db());
            // A failure on the first step is the statement's own; later, it came while
            // reading.
            r.alLeer = !r.filas.empty();
            return;
        }
        if (maxFilas == 0)
            r.afectadas = sqlite3_stmt_readonly(sentencia) ? 0 : qlonglong(sqlite3_changes64(db()));
    }

    // A chunked statement, prepared once for the connection's life: only its one
    // parameter, the chunk's JSON, changes.
    template <typename Texto>
    Respuesta conJson(sqlite3_stmt *&sentencia, const Texto &texto, const QString &json)
    {
        Respuesta r;
        if (!sentencia) {
            const QByteArray utf8 = texto().toUtf8();
            if (sqlite3_prepare_v3(db(), utf8.constData(), int(utf8.size()), SQLITE_PREPARE_PERSISTENT, &sentencia,
                                   nullptr)
                != SQLITE_OK) {
                r.fallo = falloDe(db());
                sentencia = nullptr;
                return r;
            }
        }
        const QByteArray valor = json.toUtf8();
        if (sqlite3_bind_text(sentencia, 1, valor.constData(), int(valor.size()), SQLITE_STATIC) != SQLITE_OK) {
            r.fallo = falloDe(db());
            return r;
        }
        leer(sentencia, kTodasLasFilas, r);
        // Done with it: an unfinished statement keeps the file locked.
        sqlite3_reset(sentencia);
        sqlite3_clear_bindings(sentencia);
        return r;
    }

    std::optional<Fallo> paso(const char *sentencia)
    {
        if (sqlite3_exec(db(), sentencia, nullptr, nullptr, nullptr) == SQLITE_OK)
            return std::nullopt;
        return falloDe(db());
    }

    QByteArray uri_;
    QString textoDeApertura_;
    Detencion parada_;
    sqlite3_stmt *consulta_ = nullptr;
    sqlite3_stmt *consultaBloqueada_ = nullptr;
    sqlite3_stmt *update_ = nullptr;
    static constexpr std::size_t kFormasGuardadas = 8;
    std::vector<std::pair<QByteArray, sqlite3_stmt *>> formas_; // the last used first
};

} // namespace

std::unique_ptr<Conector> abrirSqlite(const Direccion &d, int espera)
{
    return std::make_unique<ConectorSqlite>(d, espera);
}
