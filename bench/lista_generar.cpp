// SPDX-License-Identifier: GPL-3.0-or-later
// Writes a list in the published format at full size, made up from a fixed seed: one
// record a line, fields separated by "@", CRLF line ends; every heading before what it
// holds (63.05, 6305.3, 6305.32, 6305.32.00, 6305.32.00.1, 6305.32.00.11), the full
// positions with the check letter the rule gives and a unit of the unit table; a
// chapter line (type 1) before each chapter and a few lines of type 3. Lines with
// accents are written in UTF-8, in Windows-1252, or with "?" for every accented
// letter, as published copies mix them.
//
//   telquin_bench_lista_generar --salida=FILE [--posiciones=30000] [--partidas=CSV]
// --partidas also writes every position with its unit ("posicion;unidad"), in the
// list's order, for the tables the reconciliation is measured on.

#include "codes/Codigos.h"
#include "codes/Unidades.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

// Words of the descriptions, UTF-8; some of them with accents.
const char *const kPalabras[] = {
    "tejidos",      "teñidos",     "filamentos",  "acetato",       "algodón",      "poliéster",    "máquinas",
    "eléctricos",   "aparatos",    "partes",      "piezas",        "acero",        "aluminio",     "plástico",
    "cerámica",     "vidrio",      "madera",      "papel",         "cartón",       "caucho",       "cuero",
    "lana",         "seda",        "lino",        "yute",          "fibras",       "sintéticas",   "artificiales",
    "crudos",       "blanqueados", "estampados",  "hilados",       "densidad",     "hilos",        "peso",
    "contenido",    "superior",    "inferior",    "igual",         "envases",      "inmediatos",   "capacidad",
    "motores",      "bombas",      "válvulas",    "tubos",         "cables",       "conductores",  "baterías",
    "lámparas",     "vehículos",   "automóviles", "camiones",      "bicicletas",   "juguetes",     "muñecas",
    "instrumentos", "médicos",     "ópticos",     "químicos",      "orgánicos",    "inorgánicos",  "ácidos",
    "sales",        "ésteres",     "alcoholes",   "aceites",       "grasas",       "leche",        "nata",
    "azúcar",       "café",        "té",          "cacao",         "frutas",       "hortalizas",   "cereales",
    "harina",       "pescados",    "carne",       "congelados",    "frescos",      "refrigerados", "secos",
    "salados",      "ahumados",    "preparados",  "conservas",     "calzado",      "prendas",      "vestir",
    "punto",        "sacos",       "bolsas",      "talegas",       "envasar",      "máquinas",     "herramientas",
    "manuales",     "neumáticas",  "hidráulicas", "eléctricas",    "electrónicos", "circuitos",    "integrados",
    "teléfonos",    "receptores",  "televisión",  "radiodifusión", "muebles",      "asientos",     "colchones",
};
constexpr std::size_t kCantidadPalabras = sizeof kPalabras / sizeof *kPalabras;

const char *const kFinales[] = {"Los demás", "Las demás", "De los demás tipos", "Los demás, excepto los de acero"};

class Generador {
public:
    Generador(std::FILE *salida, std::FILE *partidas) : salida_(salida), partidas_(partidas) { }

    void lista(long posiciones);
    long posiciones() const { return posiciones_; }
    long encabezados() const { return encabezados_; }
    long otros() const { return otros_; }
    long lineas() const { return lineas_; }
    // Lines in ASCII, with accents in UTF-8, in Windows-1252, with "?" for them.
    long ascii() const { return ascii_; }
    long utf8() const { return utf8_; }
    long windows1252() const { return windows1252_; }
    long perdidas() const { return perdidas_; }

private:
    bool azar(double p) { return std::uniform_real_distribution<double>(0, 1)(azar_) < p; }
    int entre(int a, int b) { return std::uniform_int_distribution<int>(a, b)(azar_); }
    std::string palabras(int desde, int hasta, bool mayusculas);
    std::string descripcion(bool final);
    std::string unidad();
    void linea(const std::string &texto);
    void encabezado(const std::string &codigo, const std::string &texto, bool conUnidad = false);
    void posicion(const std::string &codigo11, const std::string &texto);
    // The parts of n, each at least one, at most k of them, none over `tope` unless n
    // needs it.
    std::vector<int> repartir(int n, int k, int tope = 1 << 20);
    void partida(int capitulo, int numero, int cuantas);
    void item(const std::string &ocho, int cuantas, const std::string &sangria);

    std::FILE *salida_;
    std::FILE *partidas_;
    std::mt19937_64 azar_{20260614};
    long posiciones_ = 0;
    long encabezados_ = 0;
    long otros_ = 0;
    long lineas_ = 0;
    long ascii_ = 0;
    long utf8_ = 0;
    long windows1252_ = 0;
    long perdidas_ = 0;
};

std::string Generador::palabras(int desde, int hasta, bool mayusculas)
{
    std::string texto;
    const int n = entre(desde, hasta);
    for (int i = 0; i < n; ++i) {
        if (i > 0)
            // Runs of blanks left over from the source's line wrapping, and a tab now and then.
            texto += azar(0.03) ? "         " : azar(0.002) ? "\t" : " ";
        std::string palabra = kPalabras[std::size_t(entre(0, int(kCantidadPalabras) - 1))];
        if (azar(0.003))
            palabra = "<<" + palabra + ">>";
        texto += palabra;
    }
    if (mayusculas) {
        std::string grande;
        for (std::size_t i = 0; i < texto.size(); ++i) {
            const auto c = static_cast<unsigned char>(texto[i]);
            // The accented lower-case letters of Latin-1 are C3 A0..BF in UTF-8; upper case is 0x20 below.
            if (c == 0xC3 && i + 1 < texto.size() && static_cast<unsigned char>(texto[i + 1]) >= 0xA0) {
                grande += texto[i];
                grande += static_cast<char>(static_cast<unsigned char>(texto[++i]) - 0x20);
            } else {
                grande += static_cast<char>(c >= 'a' && c <= 'z' ? c - 0x20 : c);
            }
        }
        texto = grande;
    } else {
        texto[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(texto[0])));
    }
    return texto;
}

std::string Generador::descripcion(bool final)
{
    if (final)
        return kFinales[std::size_t(entre(0, int(std::size(kFinales)) - 1))];
    return palabras(3, 9, false);
}

std::string Generador::unidad()
{
    if (azar(0.6))
        return "01";
    if (azar(0.6))
        return "07";
    return kUnidadesEstadisticas[std::size_t(entre(0, int(kCantidadUnidadesEstadisticas) - 1))].codigo;
}

// One line with its end: ASCII as it is; with accents, in one of the three forms.
void Generador::linea(const std::string &texto)
{
    std::string bytes;
    const bool ascii
        = std::all_of(texto.begin(), texto.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    const double forma = std::uniform_real_distribution<double>(0, 1)(azar_);
    if (ascii || forma < 0.55) {
        bytes = texto;
        ++(ascii ? ascii_ : utf8_);
    } else {
        ++(forma < 0.85 ? windows1252_ : perdidas_);
        // Every non-ASCII letter here is U+00A0..U+00FF: C2 or C3 and one more byte.
        for (std::size_t i = 0; i < texto.size(); ++i) {
            const auto c = static_cast<unsigned char>(texto[i]);
            if (c < 0x80) {
                bytes += texto[i];
                continue;
            }
            const auto siguiente = static_cast<unsigned char>(texto[++i]);
            bytes += forma < 0.85 ? static_cast<char>(((c & 0x03) << 6) | (siguiente & 0x3F)) : '?';
        }
    }
    bytes += "\r\n";
    std::fwrite(bytes.data(), 1, bytes.size(), salida_);
    ++lineas_;
}

void Generador::encabezado(const std::string &codigo, const std::string &texto, bool conUnidad)
{
    char campo[17];
    std::snprintf(campo, sizeof campo, "%-16s", codigo.c_str());
    linea("2@" + std::string(campo) + "@      @      @      @      @      @      @" + (conUnidad ? unidad() : "  ")
          + "@  @" + texto);
    ++encabezados_;
}

void Generador::posicion(const std::string &codigo11, const std::string &texto)
{
    const QString catorce = QString::fromLatin1(codigo11.c_str());
    const std::string codigo = codigo11 + char(letraDeControl(catorce)->toLatin1());
    const std::string u = unidad();
    const char *tasas[] = {"000.00", "002.00", "005.00", "010.00", "014.00", "018.00", "020.00", "035.00"};
    std::string linea_ = "2@" + codigo + " ";
    for (int i = 0; i < 5; ++i)
        linea_ += std::string("@") + tasas[entre(0, 7)];
    linea_ += "@      @" + u + "@  @" + texto;
    linea(linea_);
    if (partidas_)
        std::fprintf(partidas_, "%s;%s\n", codigo.c_str(), u.c_str());
    ++posiciones_;
}

std::vector<int> Generador::repartir(int n, int k, int tope)
{
    k = std::max({1, std::min(n, k), (n + tope - 1) / tope});
    std::vector<int> partes(std::size_t(k), 1);
    for (int resto = n - k; resto > 0; --resto) {
        std::size_t i = std::size_t(entre(0, k - 1));
        while (partes[i] >= tope)
            i = (i + 1) % partes.size();
        ++partes[i];
    }
    return partes;
}

// An 8-digit item with its positions: one alone (….000L), or its heading and the
// positions under it, grouped under 9-digit and 10-digit headings when many.
void Generador::item(const std::string &ocho, int cuantas, const std::string &sangria)
{
    if (cuantas == 1) {
        posicion(ocho + ".000", sangria + descripcion(false));
        return;
    }
    encabezado(ocho, sangria + descripcion(false), azar(0.3));
    if (cuantas <= 5) {
        for (int i = 0; i < cuantas; ++i) {
            const bool ultima = i == cuantas - 1;
            posicion(ocho + "." + std::to_string(ultima ? 9 : i + 1) + "00", "      " + descripcion(ultima));
        }
        return;
    }
    const std::vector<int> grupos = repartir(cuantas, std::min(8, (cuantas + 5) / 6), 8);
    for (std::size_t g = 0; g < grupos.size(); ++g) {
        const std::string nueve = ocho + "." + std::to_string(g + 1 == grupos.size() ? 9 : g + 1);
        if (grupos[g] == 1) {
            posicion(nueve + "00", "      " + descripcion(g + 1 == grupos.size()));
            continue;
        }
        encabezado(nueve, "      " + descripcion(false));
        // Now and then, past three, a 10-digit heading holds the first two.
        int i = 0;
        if (grupos[g] > 3 && azar(0.4)) {
            encabezado(nueve + "1", "       " + descripcion(false));
            posicion(nueve + "11", "        " + descripcion(false));
            posicion(nueve + "19", "        " + descripcion(true));
            i = 2;
        }
        for (int d = i == 0 ? 1 : 2; i < grupos[g]; ++i, ++d) {
            const bool ultima = i == grupos[g] - 1;
            posicion(nueve + std::to_string(ultima ? 9 : d) + "0", "       " + descripcion(ultima));
        }
    }
}

// A heading of four digits ("63.05") and the positions under it.
void Generador::partida(int capitulo, int numero, int cuantas)
{
    char cuatro[8];
    std::snprintf(cuatro, sizeof cuatro, "%02d%02d", capitulo, numero);
    char titulo[8];
    std::snprintf(titulo, sizeof titulo, "%02d.%02d", capitulo, numero);
    encabezado(titulo, palabras(5, 16, true) + ".");
    // A heading without subheadings: 9503.00, then its 8-digit items.
    if (cuantas <= 4 && azar(0.5)) {
        const std::vector<int> items = repartir(cuantas, 2);
        for (std::size_t i = 0; i < items.size(); ++i)
            item(std::string(cuatro) + ".00." + (i + 1 == items.size() ? "99" : "10"), items[i], "-");
        return;
    }
    const std::vector<int> cincos = repartir(cuantas, entre(1, 2));
    for (std::size_t s = 0; s < cincos.size(); ++s) {
        const std::string cinco = std::string(cuatro) + "." + std::to_string(s + 1 == cincos.size() ? 9 : s + 1);
        const std::vector<int> seises = repartir(cincos[s], entre(1, 3));
        if (seises.size() > 1)
            encabezado(cinco, "-" + descripcion(false) + ":");
        for (std::size_t t = 0; t < seises.size(); ++t) {
            const std::string seis = cinco + std::to_string(t + 1 == seises.size() ? 9 : t + 1);
            const std::vector<int> ochos = repartir(seises[t], entre(1, 2), 64);
            const std::string sangria = seises.size() > 1 ? "--" : "-";
            if (ochos.size() > 1)
                encabezado(seis, sangria + descripcion(false));
            for (std::size_t u = 0; u < ochos.size(); ++u) {
                const std::string final = ochos.size() == 1 ? "00"
                    : u + 1 == ochos.size()                 ? "90"
                                                            : std::to_string(u + 1) + "0";
                item(seis + "." + final, ochos[u], ochos.size() > 1 ? sangria + "-" : sangria);
            }
        }
    }
}

void Generador::lista(long total)
{
    std::vector<int> capitulos;
    for (int c = 1; c <= 97; ++c)
        if (c != 77)
            capitulos.push_back(c);
    constexpr int kPartidasPorCapitulo = 13;
    const long partidasEnTotal = long(capitulos.size()) * kPartidasPorCapitulo;
    long hechas = 0;
    for (std::size_t c = 0; c < capitulos.size(); ++c) {
        char capitulo[64];
        std::snprintf(capitulo, sizeof capitulo, "1@%02d@", capitulos[c]);
        linea(capitulo + palabras(2, 6, true));
        ++otros_;
        for (int p = 1; p <= kPartidasPorCapitulo; ++p) {
            // Each heading's share of the total, so that it comes out exact.
            const long indice = long(c) * kPartidasPorCapitulo + p;
            const long hasta = total * indice / partidasEnTotal;
            if (hasta > hechas)
                partida(capitulos[c], p, int(hasta - hechas));
            hechas = hasta;
        }
    }
    for (int i = 0; i < 8; ++i) {
        char tres[64];
        std::snprintf(tres, sizeof tres, "3@%02d%02d.00.99@ARANCEL@%d", capitulos[std::size_t(i * 11)], i + 1, i % 2);
        linea(tres);
        ++otros_;
    }
}

} // namespace

int main(int argc, char **argv)
{
    const char *rutaSalida = nullptr;
    const char *rutaPartidas = nullptr;
    long posiciones = 30000;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--salida=", 9) == 0)
            rutaSalida = argv[i] + 9;
        else if (std::strncmp(argv[i], "--partidas=", 11) == 0)
            rutaPartidas = argv[i] + 11;
        else if (std::strncmp(argv[i], "--posiciones=", 13) == 0)
            posiciones = std::atol(argv[i] + 13);
        else
            rutaSalida = nullptr, posiciones = 0;
    }
    if (!rutaSalida || posiciones < 1) {
        std::fprintf(stderr, "usage: telquin_bench_lista_generar --salida=FILE [--posiciones=N] [--partidas=CSV]\n");
        return 2;
    }
    std::FILE *salida = std::fopen(rutaSalida, "wb");
    std::FILE *partidas = rutaPartidas ? std::fopen(rutaPartidas, "w") : nullptr;
    if (!salida || (rutaPartidas && !partidas)) {
        std::perror("telquin_bench_lista_generar");
        return 1;
    }
    if (partidas)
        std::fputs("posicion;unidad\n", partidas);
    Generador g(salida, partidas);
    g.lista(posiciones);
    const bool bien = std::fclose(salida) == 0 && (!partidas || std::fclose(partidas) == 0);
    std::fprintf(stderr,
                 "%s: %ld lines, %ld positions, %ld headings, %ld of other types; %ld in ASCII, %ld with accents in "
                 "UTF-8, %ld in Windows-1252, %ld with ? for them\n",
                 rutaSalida, g.lineas(), g.posiciones(), g.encabezados(), g.otros(), g.ascii(), g.utf8(),
                 g.windows1252(), g.perdidas());
    return bien ? 0 : 1;
}
