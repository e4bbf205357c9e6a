// SPDX-License-Identifier: GPL-3.0-or-later
// The import of the official list as a raw program would write it, to compare
// `telquin lista importar` with: sqlite3's C API and the standard library, no Qt. It
// reads and splits the same file (lines ended by LF, CRLF or CR; each line UTF-8 when
// valid, else Windows-1252), keeps the same rows (the positions with their unit,
// description and headings) and loads them in one transaction, by prepared inserts,
// into the same tables and the same FTS5 table with the same tokenizer as
// lista/Indice.cpp; then the same index on the positions, FTS5's optimize and the
// list's counts. SQLite's default journal and syncing, no SHA-256 of the file, no
// check of letters or units, no progress.
//
//   telquin_bench_lista_crudo FILE INDEX        (INDEX is removed first)

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <unistd.h>

namespace {

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

// Windows-1252 from 0x80 to 0x9F; the five it leaves undefined as U+FFFD.
constexpr unsigned short kDe80a9F[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178,
};

void agregarUtf8(std::string &s, unsigned c)
{
    if (c < 0x80) {
        s += char(c);
    } else if (c < 0x800) {
        s += char(0xC0 | (c >> 6));
        s += char(0x80 | (c & 0x3F));
    } else {
        s += char(0xE0 | (c >> 12));
        s += char(0x80 | ((c >> 6) & 0x3F));
        s += char(0x80 | (c & 0x3F));
    }
}

bool esUtf8(std::string_view s)
{
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t n;
        unsigned minimo;
        unsigned valor;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            n = 1, minimo = 0x80, valor = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            n = 2, minimo = 0x800, valor = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            n = 3, minimo = 0x10000, valor = c & 0x07;
        } else {
            return false;
        }
        for (std::size_t k = 1; k <= n; ++k) {
            if (i + k >= s.size() || (static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return false;
            valor = (valor << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        }
        if (valor < minimo || valor > 0x10FFFF || (valor >= 0xD800 && valor <= 0xDFFF))
            return false;
        i += n + 1;
    }
    return true;
}

// The line as UTF-8: as it is when valid, else read as Windows-1252.
std::string_view decodificar(std::string_view linea, std::string &espacio)
{
    if (esUtf8(linea))
        return linea;
    espacio.clear();
    for (const char ch : linea) {
        const auto c = static_cast<unsigned char>(ch);
        agregarUtf8(espacio, c >= 0x80 && c < 0xA0 ? kDe80a9F[c - 0x80] : c);
    }
    return espacio;
}

std::string_view recortar(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

// Runs of blanks made one, the depth's blanks and dashes removed, << >> made « ».
std::string limpiar(std::string_view s)
{
    std::string limpio;
    limpio.reserve(s.size());
    bool blanco = false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f') {
            blanco = true;
            continue;
        }
        if (limpio.empty() && c == '-')
            continue;
        if (blanco && !limpio.empty())
            limpio += ' ';
        blanco = false;
        if ((c == '<' || c == '>') && i + 1 < s.size() && s[i + 1] == c) {
            limpio += c == '<' ? "«" : "»";
            ++i;
        } else {
            limpio += c;
        }
    }
    return limpio;
}

struct Nivel {
    std::string digitos;
    std::string texto;
};

[[noreturn]] void fallar(sqlite3 *db, const char *que)
{
    std::fprintf(stderr, "telquin_bench_lista_crudo: %s: %s\n", que, db ? sqlite3_errmsg(db) : "?");
    std::exit(1);
}

void ejecutar(sqlite3 *db, const char *sql)
{
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        fallar(db, sql);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: telquin_bench_lista_crudo FILE INDEX\n");
        return 2;
    }
    std::FILE *f = std::fopen(argv[1], "rb");
    if (!f) {
        std::perror(argv[1]);
        return 1;
    }
    // Read whole, as Telquin reads it, into a buffer of the file's size.
    std::string texto;
    if (std::fseek(f, 0, SEEK_END) == 0) {
        const long tamano = std::ftell(f);
        texto.reserve(tamano > 0 ? std::size_t(tamano) : 0);
        std::rewind(f);
    }
    char bloque[1 << 16];
    for (std::size_t n; (n = std::fread(bloque, 1, sizeof bloque, f)) > 0;)
        texto.append(bloque, n);
    std::fclose(f);

    ::unlink(argv[2]);
    sqlite3 *db = nullptr;
    if (sqlite3_open(argv[2], &db) != SQLITE_OK)
        fallar(db, "open");
    ejecutar(db, "BEGIN");
    ejecutar(db, kEsquema);
    sqlite3_stmt *enPartidas = nullptr;
    sqlite3_stmt *enBusqueda = nullptr;
    if (sqlite3_prepare_v2(
            db, "INSERT INTO partidas(orden, posicion, unidad, descripcion, encabezados) VALUES (?, ?, ?, ?, ?)", -1,
            &enPartidas, nullptr)
            != SQLITE_OK
        || sqlite3_prepare_v2(db, "INSERT INTO busqueda(rowid, descripcion, encabezados) VALUES (?, ?, ?)", -1,
                              &enBusqueda, nullptr)
            != SQLITE_OK)
        fallar(db, "prepare");

    long posiciones = 0, encabezados = 0, otros = 0, ilegibles = 0;
    std::vector<Nivel> camino;
    std::vector<std::string_view> campos;
    std::string espacio, digitos, juntos;
    std::string_view resto(texto);
    while (!resto.empty()) {
        const std::size_t fin = resto.find_first_of("\r\n");
        std::string_view bytes = resto.substr(0, fin);
        if (fin == std::string_view::npos)
            resto = {};
        else
            resto.remove_prefix(fin + (resto[fin] == '\r' && fin + 1 < resto.size() && resto[fin + 1] == '\n' ? 2 : 1));
        const std::string_view linea = decodificar(bytes, espacio);
        if (recortar(linea).empty())
            continue;
        campos.clear();
        std::size_t desde = 0;
        for (std::size_t arroba; campos.size() < 10 && (arroba = linea.find('@', desde)) != std::string_view::npos;
             desde = arroba + 1)
            campos.push_back(linea.substr(desde, arroba - desde));
        campos.push_back(linea.substr(std::min(desde, linea.size())));
        const std::string_view tipo = recortar(campos[0]);
        if (tipo != "2") {
            ++(tipo.empty() || tipo.find_first_not_of("0123456789") != std::string_view::npos ? ilegibles : otros);
            continue;
        }
        if (campos.size() < 11) {
            ++ilegibles;
            continue;
        }
        const std::string_view codigo = recortar(campos[1]);
        digitos.clear();
        for (const char c : codigo)
            if (c >= '0' && c <= '9')
                digitos += c;
        const bool esPosicion = codigo.size() == 15 && codigo[14] >= 'A' && codigo[14] <= 'Z';
        if (digitos.empty() || (codigo.size() == 15 && !esPosicion)) {
            ++ilegibles;
            continue;
        }
        std::string descripcion = limpiar(campos[10]);
        // The headings that do not hold this code are closed; a heading also closes an equal one.
        while (!camino.empty()
               && !(digitos.compare(0, camino.back().digitos.size(), camino.back().digitos) == 0
                    && (esPosicion || camino.back().digitos.size() < digitos.size())))
            camino.pop_back();
        if (!esPosicion) {
            ++encabezados;
            camino.push_back({digitos, std::move(descripcion)});
            continue;
        }
        ++posiciones;
        juntos.clear();
        for (std::size_t i = 0; i < camino.size(); ++i) {
            if (i > 0)
                juntos += '\n';
            juntos += camino[i].texto;
        }
        const std::string_view unidad = recortar(campos[8]);
        sqlite3_bind_int64(enPartidas, 1, posiciones);
        sqlite3_bind_text(enPartidas, 2, codigo.data(), int(codigo.size()), SQLITE_STATIC);
        sqlite3_bind_text(enPartidas, 3, unidad.data(), int(unidad.size()), SQLITE_STATIC);
        sqlite3_bind_text(enPartidas, 4, descripcion.data(), int(descripcion.size()), SQLITE_STATIC);
        sqlite3_bind_text(enPartidas, 5, juntos.data(), int(juntos.size()), SQLITE_STATIC);
        sqlite3_bind_int64(enBusqueda, 1, posiciones);
        sqlite3_bind_text(enBusqueda, 2, descripcion.data(), int(descripcion.size()), SQLITE_STATIC);
        sqlite3_bind_text(enBusqueda, 3, juntos.data(), int(juntos.size()), SQLITE_STATIC);
        for (sqlite3_stmt *s : {enPartidas, enBusqueda}) {
            if (sqlite3_step(s) != SQLITE_DONE)
                fallar(db, "insert");
            sqlite3_reset(s);
        }
    }
    sqlite3_stmt *dato = nullptr;
    if (sqlite3_prepare_v2(db, "INSERT INTO lista(clave, valor) VALUES (?, ?)", -1, &dato, nullptr) != SQLITE_OK)
        fallar(db, "prepare");
    const std::pair<const char *, long> cuentas[] = {{"tamano", long(texto.size())},
                                                     {"posiciones", posiciones},
                                                     {"encabezados", encabezados},
                                                     {"otrosTipos", otros},
                                                     {"ilegibles", ilegibles}};
    for (const auto &[clave, valor] : cuentas) {
        sqlite3_bind_text(dato, 1, clave, -1, SQLITE_STATIC);
        sqlite3_bind_int64(dato, 2, valor);
        if (sqlite3_step(dato) != SQLITE_DONE)
            fallar(db, "insert");
        sqlite3_reset(dato);
    }
    sqlite3_finalize(dato);
    ejecutar(db, "CREATE INDEX partidas_posicion ON partidas(posicion)");
    ejecutar(db, "INSERT INTO busqueda(busqueda) VALUES('optimize')");
    ejecutar(db, "PRAGMA user_version=1");
    ejecutar(db, "COMMIT");
    sqlite3_finalize(enPartidas);
    sqlite3_finalize(enBusqueda);
    if (sqlite3_close(db) != SQLITE_OK)
        fallar(db, "close");
    std::printf("%ld positions, %ld headings, %ld of other types, %ld unreadable\n", posiciones, encabezados, otros,
                ilegibles);
    return 0;
}
