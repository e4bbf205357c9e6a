// SPDX-License-Identifier: GPL-3.0-or-later
// How long a batch applied on PostgreSQL keeps another user waiting: starts the
// batch, waits until its transaction holds a row (its backend has a transaction id),
// then updates POSICION from a connection of its own, with lock_timeout off, and
// times that update from sent to answered.
//
//   telquin_sonda_bloqueo CONNINFO POSICION -- PROGRAMA [ARGUMENTOS...]
//
// Prints "espera_ms N lote_ms N visto_ms N": the update's wait, the batch's whole
// run, and when its lock was first seen, both from the batch's start. The batch's
// standard output is thrown away.

#include <libpq-fe.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

extern char **environ;

namespace {

using Reloj = std::chrono::steady_clock;

[[nodiscard]] double ms(Reloj::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

class Conexion {
public:
    explicit Conexion(const std::string &conninfo) : c_(PQconnectdb(conninfo.c_str()))
    {
        if (PQstatus(c_) != CONNECTION_OK)
            throw std::runtime_error("libpq: " + std::string(PQerrorMessage(c_)));
    }
    ~Conexion() { PQfinish(c_); }
    Conexion(const Conexion &) = delete;
    Conexion &operator=(const Conexion &) = delete;

    // The number of rows the statement returned or changed.
    long ejecutar(const std::string &sql)
    {
        PGresult *r = PQexec(c_, sql.c_str());
        const ExecStatusType estado = PQresultStatus(r);
        if (estado != PGRES_COMMAND_OK && estado != PGRES_TUPLES_OK) {
            PQclear(r);
            throw std::runtime_error("libpq: " + std::string(PQerrorMessage(c_)));
        }
        const long n = estado == PGRES_TUPLES_OK ? PQntuples(r) : std::atol(PQcmdTuples(r));
        PQclear(r);
        return n;
    }

private:
    PGconn *c_;
};

[[nodiscard]] std::string literal(const std::string &valor)
{
    std::string salida = "'";
    for (const char c : valor) {
        salida += c;
        if (c == '\'')
            salida += '\'';
    }
    return salida + "'";
}

[[nodiscard]] pid_t lanzar(char **argv)
{
    posix_spawn_file_actions_t acciones;
    posix_spawn_file_actions_init(&acciones);
    posix_spawn_file_actions_addopen(&acciones, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int error = posix_spawnp(&pid, argv[0], &acciones, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&acciones);
    if (error != 0)
        throw std::runtime_error(std::string(argv[0]) + ": " + std::strerror(error));
    return pid;
}

void exigirExito(pid_t pid, int estado)
{
    if (!WIFEXITED(estado) || WEXITSTATUS(estado) != 0)
        throw std::runtime_error("el lote (proceso " + std::to_string(pid) + ") terminó con el estado "
                                 + std::to_string(WIFEXITED(estado) ? WEXITSTATUS(estado) : 128 + WTERMSIG(estado)));
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 5 || std::strcmp(argv[3], "--") != 0) {
        std::fprintf(stderr, "uso: telquin_sonda_bloqueo CONNINFO POSICION -- PROGRAMA [ARGUMENTOS...]\n");
        return 2;
    }
    try {
        const std::string posicion = argv[2];
        Conexion sonda(argv[1]);
        sonda.ejecutar("SET lock_timeout = 0");
        sonda.ejecutar("SET statement_timeout = 0");
        const std::string cambio = R"(UPDATE ncm SET "012" = "012" WHERE "001" = )" + literal(posicion.substr(0, 10))
            + R"( AND "002" = )" + literal(posicion.substr(11, 3)) + R"( AND "003" = )"
            + literal(posicion.substr(14, 1));
        // A client backend of this database other than the probe's, inside a
        // transaction that has taken a row: the batch, holding its first chunk.
        const std::string bloqueando = "SELECT 1 FROM pg_stat_activity WHERE backend_type = 'client backend' AND "
                                       "datname = current_database() AND pid <> pg_backend_pid() AND backend_xid "
                                       "IS NOT NULL";

        const Reloj::time_point inicio = Reloj::now();
        const pid_t pid = lanzar(argv + 4);
        int estado = 0;
        while (sonda.ejecutar(bloqueando) == 0) {
            if (waitpid(pid, &estado, WNOHANG) == pid) {
                exigirExito(pid, estado);
                throw std::runtime_error("el lote terminó sin que se viera su bloqueo");
            }
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        const Reloj::time_point visto = Reloj::now();
        if (sonda.ejecutar(cambio) != 1)
            throw std::runtime_error("no hay fila para " + posicion);
        const Reloj::time_point respondido = Reloj::now();
        if (waitpid(pid, &estado, 0) != pid)
            throw std::runtime_error("waitpid: " + std::string(std::strerror(errno)));
        const Reloj::time_point fin = Reloj::now();
        exigirExito(pid, estado);
        std::printf("espera_ms %.1f lote_ms %.1f visto_ms %.1f\n", ms(respondido - visto), ms(fin - inicio),
                    ms(visto - inicio));
    } catch (const std::exception &e) {
        std::fprintf(stderr, "telquin: sonda_bloqueo: %s\n", e.what());
        return 1;
    }
    return 0;
}
