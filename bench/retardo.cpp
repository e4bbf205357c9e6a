// SPDX-License-Identifier: GPL-3.0-or-later
// A network of a given round-trip time between a client and the throwaway server: a
// TCP proxy on 127.0.0.1 that forwards to the server's Unix socket and holds every
// chunk it reads for half the round trip before passing it on, in each direction.
// The kernel here has no netem, so the delay is made in user space, with one poll()
// loop for every connection.
//
//   telquin_retardo --socket RUTA [--puerto N] [--rtt-ms MS] [--cuentas ARCHIVO]
//
// Prints "puerto N" once it listens (N chosen by the kernel when --puerto is 0 or
// absent). Counts the round trips of each connection: its first send, and every send
// of the client after it has received something since its previous send. The counts
// go to ARCHIVO, rewritten whenever a connection ends, and to standard output at
// SIGTERM or SIGINT, which end the program.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <list>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Reloj = std::chrono::steady_clock;

class Falla : public std::runtime_error {
public:
    explicit Falla(const std::string &que) : std::runtime_error(que + ": " + std::strerror(errno)) { }
};

struct Opciones {
    std::string socket;
    int puerto = 0;
    std::chrono::microseconds mitad{10000};
    std::string cuentas;
};

// What one read brought, held until `salida`; no bytes means the end of the stream.
struct Trozo {
    Reloj::time_point salida;
    std::string bytes;
};

// The bytes one end sent, on their way to the other end.
struct Sentido {
    int origen = -1;
    int destino = -1;
    std::deque<Trozo> cola;
    std::size_t enCola = 0;
    std::size_t escritoDelPrimero = 0;
    bool origenTerminado = false;
    bool destinoCerrado = false;

    [[nodiscard]] bool listoParaSalir(Reloj::time_point ahora) const
    {
        return !destinoCerrado && !cola.empty() && cola.front().salida <= ahora;
    }
};

struct Conexion {
    int numero = 0;
    int cliente = -1;
    int servidor = -1;
    Sentido alServidor;
    Sentido alCliente;
    long idasYVueltas = 0;
    bool envioAlguno = false;
    bool recibioDesdeSuEnvio = false;
    bool rota = false;

    [[nodiscard]] bool terminada() const { return rota || (alServidor.destinoCerrado && alCliente.destinoCerrado); }
};

struct Cuenta {
    int numero;
    long idasYVueltas;
};

// Past this much waiting in one direction the proxy stops reading that end, as a
// full network would.
constexpr std::size_t kTopeDeCola = 64u << 20;

int tuberiaDeSenal[2] = {-1, -1};

void alRecibirSenal(int)
{
    const char c = 0;
    [[maybe_unused]] const auto n = write(tuberiaDeSenal[1], &c, 1);
}

void sinBloqueo(int fd)
{
    const int banderas = fcntl(fd, F_GETFL);
    if (banderas < 0 || fcntl(fd, F_SETFL, banderas | O_NONBLOCK) < 0)
        throw Falla("fcntl");
}

[[nodiscard]] Opciones leerOpciones(int argc, char **argv)
{
    Opciones o;
    for (int i = 1; i < argc; ++i) {
        const std::string nombre = argv[i];
        if (i + 1 >= argc)
            throw std::invalid_argument("falta el valor de " + nombre);
        const std::string valor = argv[++i];
        if (nombre == "--socket")
            o.socket = valor;
        else if (nombre == "--puerto")
            o.puerto = std::stoi(valor);
        else if (nombre == "--rtt-ms")
            o.mitad = std::chrono::microseconds(std::llround(std::stod(valor) * 500.0));
        else if (nombre == "--cuentas")
            o.cuentas = valor;
        else
            throw std::invalid_argument("opción desconocida: " + nombre);
    }
    if (o.socket.empty())
        throw std::invalid_argument("falta --socket");
    return o;
}

[[nodiscard]] int escuchar(int puerto)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        throw Falla("socket");
    const int si = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &si, sizeof si);
    sockaddr_in dir{};
    dir.sin_family = AF_INET;
    dir.sin_port = htons(static_cast<std::uint16_t>(puerto));
    dir.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(fd, reinterpret_cast<sockaddr *>(&dir), sizeof dir) < 0)
        throw Falla("bind 127.0.0.1:" + std::to_string(puerto));
    if (listen(fd, 64) < 0)
        throw Falla("listen");
    sinBloqueo(fd);
    return fd;
}

[[nodiscard]] int puertoDe(int fd)
{
    sockaddr_in dir{};
    socklen_t largo = sizeof dir;
    if (getsockname(fd, reinterpret_cast<sockaddr *>(&dir), &largo) < 0)
        throw Falla("getsockname");
    return ntohs(dir.sin_port);
}

[[nodiscard]] int conectarAlServidor(const std::string &ruta)
{
    sockaddr_un dir{};
    if (ruta.size() >= sizeof dir.sun_path)
        throw std::invalid_argument("ruta de socket demasiado larga: " + ruta);
    dir.sun_family = AF_UNIX;
    std::memcpy(dir.sun_path, ruta.c_str(), ruta.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0)
        throw Falla("socket");
    if (connect(fd, reinterpret_cast<sockaddr *>(&dir), sizeof dir) < 0) {
        const int error = errno;
        close(fd);
        errno = error;
        throw Falla("connect " + ruta);
    }
    sinBloqueo(fd);
    return fd;
}

void escribirCuentas(const std::string &ruta, const std::vector<Cuenta> &cuentas)
{
    if (ruta.empty())
        return;
    // Written aside and renamed, so that a reader never sees half a file.
    const std::string aparte = ruta + ".nuevo";
    {
        std::ofstream archivo(aparte, std::ios::trunc);
        long total = 0;
        archivo << "conexion\tidas_y_vueltas\n";
        for (const Cuenta &c : cuentas) {
            archivo << c.numero << '\t' << c.idasYVueltas << '\n';
            total += c.idasYVueltas;
        }
        archivo << "total\t" << total << '\n';
    }
    std::rename(aparte.c_str(), ruta.c_str());
}

class Retardo {
public:
    explicit Retardo(Opciones opciones) : opciones_(std::move(opciones)), escucha_(escuchar(opciones_.puerto)) { }

    [[nodiscard]] int puerto() const { return puertoDe(escucha_); }

    void atender()
    {
        for (;;) {
            std::vector<pollfd> fds;
            std::vector<std::pair<Conexion *, bool>> duenos; // connection, and whether its client end
            fds.push_back({tuberiaDeSenal[0], POLLIN, 0});
            fds.push_back({escucha_, POLLIN, 0});
            const Reloj::time_point ahora = Reloj::now();
            std::optional<Reloj::time_point> proxima;
            for (Conexion &c : conexiones_) {
                fds.push_back(vigilar(c.cliente, eventos(c.alServidor, c.alCliente, ahora, proxima)));
                duenos.emplace_back(&c, true);
                fds.push_back(vigilar(c.servidor, eventos(c.alCliente, c.alServidor, ahora, proxima)));
                duenos.emplace_back(&c, false);
            }
            if (ppoll(fds.data(), fds.size(), espera(proxima), nullptr) < 0) {
                if (errno == EINTR)
                    continue;
                throw Falla("poll");
            }
            if (fds[0].revents != 0)
                return;
            if (fds[1].revents & POLLIN)
                aceptar();
            for (std::size_t i = 2; i < fds.size(); ++i)
                if (fds[i].revents & (POLLIN | POLLHUP | POLLERR))
                    leer(*duenos[i - 2].first, duenos[i - 2].second);
            const Reloj::time_point despues = Reloj::now();
            for (Conexion &c : conexiones_) {
                entregar(c, c.alServidor, despues, false);
                entregar(c, c.alCliente, despues, true);
            }
            cerrarTerminadas();
        }
    }

    [[nodiscard]] std::vector<Cuenta> cuentas() const
    {
        std::vector<Cuenta> todas = terminadas_;
        for (const Conexion &c : conexiones_)
            todas.push_back({c.numero, c.idasYVueltas});
        std::sort(todas.begin(), todas.end(), [](const Cuenta &a, const Cuenta &b) { return a.numero < b.numero; });
        return todas;
    }

private:
    // The events to wait for on `sentido.origen`: input while it may still send and
    // its queue has room, output while `entrante` has a chunk due for it.
    [[nodiscard]] static short eventos(const Sentido &saliente, const Sentido &entrante, Reloj::time_point ahora,
                                       std::optional<Reloj::time_point> &proxima)
    {
        short e = 0;
        if (!saliente.origenTerminado && saliente.enCola < kTopeDeCola)
            e |= POLLIN;
        if (entrante.listoParaSalir(ahora))
            e |= POLLOUT;
        else if (!entrante.destinoCerrado && !entrante.cola.empty())
            proxima = std::min(proxima.value_or(entrante.cola.front().salida), entrante.cola.front().salida);
        return e;
    }

    // An end with nothing to wait for is left out: a closed socket would otherwise wake
    // poll at once, again and again, until its connection ends.
    [[nodiscard]] static pollfd vigilar(int fd, short eventos) { return {eventos == 0 ? -1 : fd, eventos, 0}; }

    // ppoll rather than poll: a wait rounded to whole milliseconds would lengthen every
    // round trip of a 20 ms network by up to a tenth.
    [[nodiscard]] const timespec *espera(std::optional<Reloj::time_point> proxima)
    {
        if (!proxima)
            return nullptr;
        const auto falta = std::max(Reloj::duration::zero(), *proxima - Reloj::now());
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(falta).count();
        espera_.tv_sec = static_cast<time_t>(ns / 1000000000);
        espera_.tv_nsec = static_cast<long>(ns % 1000000000);
        return &espera_;
    }

    void aceptar()
    {
        const int cliente = accept(escucha_, nullptr, nullptr);
        if (cliente < 0)
            return;
        const int si = 1;
        setsockopt(cliente, IPPROTO_TCP, TCP_NODELAY, &si, sizeof si);
        int servidor = -1;
        try {
            sinBloqueo(cliente);
            servidor = conectarAlServidor(opciones_.socket);
        } catch (const std::exception &e) {
            std::fprintf(stderr, "telquin: retardo: %s\n", e.what());
            close(cliente);
            return;
        }
        Conexion &c = conexiones_.emplace_back();
        c.numero = ++numerada_;
        c.cliente = cliente;
        c.servidor = servidor;
        c.alServidor.origen = c.alCliente.destino = cliente;
        c.alServidor.destino = c.alCliente.origen = servidor;
    }

    void leer(Conexion &c, bool delCliente)
    {
        Sentido &s = delCliente ? c.alServidor : c.alCliente;
        if (s.origenTerminado || s.enCola >= kTopeDeCola)
            return;
        char bloque[65536];
        const ssize_t n = read(s.origen, bloque, sizeof bloque);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
            return;
        const Reloj::time_point salida = Reloj::now() + opciones_.mitad;
        if (n <= 0) {
            s.origenTerminado = true;
            s.cola.push_back({salida, {}});
            return;
        }
        if (delCliente) {
            if (!c.envioAlguno || c.recibioDesdeSuEnvio)
                ++c.idasYVueltas;
            c.envioAlguno = true;
            c.recibioDesdeSuEnvio = false;
        }
        s.cola.push_back({salida, std::string(bloque, static_cast<std::size_t>(n))});
        s.enCola += static_cast<std::size_t>(n);
    }

    // Passes on, in order, every chunk whose time has come, as far as the other end
    // takes them.
    static void entregar(Conexion &c, Sentido &s, Reloj::time_point ahora, bool alCliente)
    {
        while (s.listoParaSalir(ahora)) {
            Trozo &t = s.cola.front();
            if (t.bytes.empty()) {
                shutdown(s.destino, SHUT_WR);
                s.destinoCerrado = true;
                s.cola.clear();
                return;
            }
            const ssize_t n
                = send(s.destino, t.bytes.data() + s.escritoDelPrimero, t.bytes.size() - s.escritoDelPrimero, 0);
            if (n < 0) {
                if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
                    c.rota = true;
                return;
            }
            if (alCliente)
                c.recibioDesdeSuEnvio = true;
            s.escritoDelPrimero += static_cast<std::size_t>(n);
            if (s.escritoDelPrimero < t.bytes.size())
                return;
            s.enCola -= t.bytes.size();
            s.escritoDelPrimero = 0;
            s.cola.pop_front();
        }
    }

    void cerrarTerminadas()
    {
        bool alguna = false;
        for (auto it = conexiones_.begin(); it != conexiones_.end();) {
            if (!it->terminada()) {
                ++it;
                continue;
            }
            close(it->cliente);
            close(it->servidor);
            terminadas_.push_back({it->numero, it->idasYVueltas});
            it = conexiones_.erase(it);
            alguna = true;
        }
        if (alguna)
            escribirCuentas(opciones_.cuentas, cuentas());
    }

    Opciones opciones_;
    int escucha_;
    int numerada_ = 0;
    timespec espera_{};
    std::list<Conexion> conexiones_;
    std::vector<Cuenta> terminadas_;
};

} // namespace

int main(int argc, char **argv)
{
    try {
        const Opciones opciones = leerOpciones(argc, argv);
        if (pipe(tuberiaDeSenal) < 0)
            throw Falla("pipe");
        struct sigaction accion { };
        accion.sa_handler = alRecibirSenal;
        sigemptyset(&accion.sa_mask);
        sigaction(SIGTERM, &accion, nullptr);
        sigaction(SIGINT, &accion, nullptr);
        std::signal(SIGPIPE, SIG_IGN);

        Retardo retardo(opciones);
        std::printf("puerto %d\n", retardo.puerto());
        std::fflush(stdout);
        retardo.atender();

        const std::vector<Cuenta> cuentas = retardo.cuentas();
        escribirCuentas(opciones.cuentas, cuentas);
        long total = 0;
        for (const Cuenta &c : cuentas) {
            std::printf("conexion %d: %ld idas y vueltas\n", c.numero, c.idasYVueltas);
            total += c.idasYVueltas;
        }
        std::printf("total: %ld idas y vueltas\n", total);
    } catch (const std::invalid_argument &e) {
        std::fprintf(stderr,
                     "telquin: retardo: %s\nuso: telquin_retardo --socket RUTA [--puerto N] [--rtt-ms MS] "
                     "[--cuentas ARCHIVO]\n",
                     e.what());
        return 2;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "telquin: retardo: %s\n", e.what());
        return 1;
    }
    return 0;
}
