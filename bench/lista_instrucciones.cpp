// SPDX-License-Identifier: GPL-3.0-or-later
// Instructions of one search of the official list, counted by callgrind in one
// process, so that the process's start is left aside. Four roads, each run N times
// uncounted, then N times between CALLGRIND_ZERO_STATS and CALLGRIND_DUMP_STATS_AT
// named "ROAD":
//   telquin/consulta   ListaOficial::buscar on an index already open (the words made
//                      an FTS5 query, the statement prepared, the rows read as Partida);
//   crudo/consulta     the same statement text through sqlite3's C API on a
//                      connection already open, the FTS5 query given made, the four
//                      columns read as std::string;
//   telquin/orden      what `telquin buscar` does past its start: the list opened
//                      (its counts read), the search, and each line of the output made
//                      (unit name, headings joined by " › ", tab-separated, UTF-8);
//   crudo/orden        the same with sqlite3 and the standard library: open, the query,
//                      each line made, close.
// Each search asks for 21 rows, as `buscar` does for its 20.
//
//   valgrind --tool=callgrind --callgrind-out-file=PREFIX telquin_bench_lista_instrucciones
//            INDEX [--veces=N] PALABRAS...

#include "codes/Unidades.h"
#include "lista/Indice.h"
#include "lista/ListaOficial.h"

#include <valgrind/callgrind.h>

#include <sqlite3.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

namespace {

const char *const kBuscar
    = "SELECT p.posicion, p.unidad, p.descripcion, p.encabezados FROM busqueda JOIN partidas p ON p.orden = "
      "busqueda.rowid WHERE busqueda MATCH ? ORDER BY busqueda.rank, p.orden LIMIT ?";
constexpr int kPedidas = 21;

// Keeps the compiler from dropping work whose result nobody reads.
std::size_t sumidero = 0;

void contar(const char *nombre, int veces, const std::function<void()> &busqueda)
{
    for (int i = 0; i < veces; ++i)
        busqueda();
    CALLGRIND_ZERO_STATS;
    for (int i = 0; i < veces; ++i)
        busqueda();
    CALLGRIND_DUMP_STATS_AT(nombre);
}

std::string columna(sqlite3_stmt *s, int n)
{
    const auto *texto = reinterpret_cast<const char *>(sqlite3_column_text(s, n));
    return texto ? std::string(texto, std::size_t(sqlite3_column_bytes(s, n))) : std::string();
}

// The raw search: the rows, each handed to `fila`.
void buscarCrudo(sqlite3 *db, const std::string &consulta, const std::function<void(sqlite3_stmt *)> &fila)
{
    sqlite3_stmt *s = nullptr;
    if (sqlite3_prepare_v2(db, kBuscar, -1, &s, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "prepare: %s\n", sqlite3_errmsg(db));
        std::exit(1);
    }
    sqlite3_bind_text(s, 1, consulta.data(), int(consulta.size()), SQLITE_STATIC);
    sqlite3_bind_int(s, 2, kPedidas);
    int r;
    while ((r = sqlite3_step(s)) == SQLITE_ROW)
        fila(s);
    if (r != SQLITE_DONE) {
        std::fprintf(stderr, "step: %s\n", sqlite3_errmsg(db));
        std::exit(1);
    }
    sqlite3_finalize(s);
}

// The unit's name as the raw program would find it: a search of the sorted table.
const char *nombreCrudo(const std::string &codigo)
{
    std::size_t a = 0, b = kCantidadUnidadesEstadisticas;
    while (a < b) {
        const std::size_t m = (a + b) / 2;
        const int c = std::strcmp(kUnidadesEstadisticas[m].codigo, codigo.c_str());
        if (c == 0)
            return kUnidadesEstadisticas[m].nombre;
        if (c < 0)
            a = m + 1;
        else
            b = m;
    }
    return codigo.empty() ? "" : "código no oficial";
}

} // namespace

int main(int argc, char **argv)
{
    int veces = 200;
    std::string ruta;
    QStringList palabras;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--veces=", 8) == 0)
            veces = std::atoi(argv[i] + 8);
        else if (ruta.empty())
            ruta = argv[i];
        else
            palabras << QString::fromUtf8(argv[i]);
    }
    if (ruta.empty() || palabras.isEmpty() || veces < 1) {
        std::fprintf(stderr, "usage: telquin_bench_lista_instrucciones INDEX [--veces=N] PALABRAS...\n");
        return 2;
    }
    const QString rutaQt = QString::fromStdString(ruta);
    const QString juntas = palabras.join(u' ');
    const std::string consulta = consultaFts(juntas).toStdString();
    try {
        const std::unique_ptr<ListaOficial> lista = ListaOficial::abrir(rutaQt);
        const std::size_t halladas = lista->buscar(juntas, kPedidas).size();
        if (halladas == 0)
            throw ErrorDeLista("nothing found: " + juntas.toStdString());
        std::printf("%zu rows\n", halladas);

        contar("telquin/consulta", veces, [&] { sumidero += lista->buscar(juntas, kPedidas).size(); });

        sqlite3 *db = nullptr;
        if (sqlite3_open_v2(ruta.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK)
            throw ErrorDeLista("cannot open " + ruta);
        contar("crudo/consulta", veces, [&] {
            buscarCrudo(db, consulta, [](sqlite3_stmt *s) {
                std::string campos[4];
                for (int i = 0; i < 4; ++i)
                    campos[i] = columna(s, i);
                sumidero += campos[0].size() + campos[3].size();
            });
        });
        sqlite3_close_v2(db);

        contar("telquin/orden", veces, [&] {
            const std::unique_ptr<ListaOficial> abierta = ListaOficial::abrir(rutaQt);
            for (const Partida &p : abierta->buscar(juntas, kPedidas))
                sumidero += QStringList{p.posicion, p.unidad, descripcionDeUnidad(p.unidad), p.descripcionCompleta()}
                                .join(u'\t')
                                .toUtf8()
                                .size();
        });
        contar("crudo/orden", veces, [&] {
            sqlite3 *abierta = nullptr;
            if (sqlite3_open_v2(ruta.c_str(), &abierta, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr)
                != SQLITE_OK)
                std::exit(1);
            buscarCrudo(abierta, consulta, [](sqlite3_stmt *s) {
                const std::string unidad = columna(s, 1);
                std::string linea = columna(s, 0) + '\t' + unidad + '\t' + nombreCrudo(unidad) + '\t';
                std::string encabezados = columna(s, 3);
                for (std::size_t n; (n = encabezados.find('\n')) != std::string::npos;)
                    encabezados.replace(n, 1, " › ");
                if (!encabezados.empty())
                    linea += encabezados + " › ";
                linea += columna(s, 2);
                sumidero += linea.size();
            });
            sqlite3_close_v2(abierta);
        });
    } catch (const ErrorDeLista &e) {
        std::fprintf(stderr, "telquin_bench_lista_instrucciones: %s\n", e.what());
        return 1;
    }
    return sumidero == 0;
}
