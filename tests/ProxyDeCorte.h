// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A proxy between a client and the test server's Unix socket that can lose a commit's
// answer: it watches the client's bytes for PostgreSQL's simple query "COMMIT" and,
// once armed, either passes it on and closes the client's side before the answer
// comes back (the server commits; the client never learns it), or drops it and closes
// both sides (the server rolls back). It may also refuse every later connection, so
// that the client cannot ask what became of the transaction.

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <atomic>
#include <cstring>
#include <stdexcept>
#include <thread>
#include <vector>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

class ProxyDeCorte {
public:
    enum class Corte { Ninguno, TrasEnviar, SinEnviar };

    // socketServidor: the server's socket file (DIR/.s.PGSQL.PORT).
    ProxyDeCorte(const QString &socketServidor, int puerto) : servidor_(socketServidor.toLocal8Bit())
    {
        ruta_ = QStringLiteral("%1/.s.PGSQL.%2").arg(dir_.path()).arg(puerto).toLocal8Bit();
        escucha_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const sockaddr_un direccion = direccionDe(ruta_);
        if (escucha_ < 0 || ::bind(escucha_, reinterpret_cast<const sockaddr *>(&direccion), sizeof direccion) != 0
            || ::listen(escucha_, 8) != 0)
            throw std::runtime_error("el proxy no puede escuchar");
        hilo_ = std::thread([this] { atender(); });
    }
    ~ProxyDeCorte()
    {
        fin_ = true;
        hilo_.join();
        for (Par &p : pares_) {
            cerrar(p.cliente);
            cerrar(p.servidor);
        }
        cerrar(escucha_);
    }
    ProxyDeCorte(const ProxyDeCorte &) = delete;
    ProxyDeCorte &operator=(const ProxyDeCorte &) = delete;

    // The folder a libpq host= or psqlODBC Servername= names to come through here.
    [[nodiscard]] QString carpeta() const { return dir_.path(); }
    // Applies to the next COMMIT only.
    void armar(Corte corte) { corte_ = corte; }
    void rechazarNuevas(bool si) { rechazar_ = si; }
    [[nodiscard]] int commitsCortados() const { return cortados_; }

private:
    struct Par {
        int cliente;
        int servidor;
        bool sordo = false; // the client's side is gone; the server's answer is dropped
    };

    static sockaddr_un direccionDe(const QByteArray &ruta)
    {
        sockaddr_un d{};
        d.sun_family = AF_UNIX;
        std::strncpy(d.sun_path, ruta.constData(), sizeof d.sun_path - 1);
        return d;
    }
    static void cerrar(int &fd)
    {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
    static bool enviar(int fd, const char *datos, ssize_t n)
    {
        while (n > 0) {
            const ssize_t e = ::send(fd, datos, size_t(n), MSG_NOSIGNAL);
            if (e <= 0)
                return false;
            datos += e;
            n -= e;
        }
        return true;
    }

    void aceptar()
    {
        const int cliente = ::accept4(escucha_, nullptr, nullptr, SOCK_CLOEXEC);
        if (cliente < 0)
            return;
        if (rechazar_) {
            ::close(cliente);
            return;
        }
        const int servidor = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const sockaddr_un direccion = direccionDe(servidor_);
        if (servidor < 0
            || ::connect(servidor, reinterpret_cast<const sockaddr *>(&direccion), sizeof direccion) != 0) {
            ::close(cliente);
            if (servidor >= 0)
                ::close(servidor);
            return;
        }
        pares_.push_back({cliente, servidor});
    }

    // The client's bytes, watched for the commit.
    void delCliente(Par &p)
    {
        char datos[65536];
        const ssize_t n = ::recv(p.cliente, datos, sizeof datos, 0);
        if (n <= 0) {
            cerrar(p.cliente);
            cerrar(p.servidor);
            return;
        }
        static const QByteArray kCommit("COMMIT", 7); // with its NUL
        const Corte corte = corte_;
        if (corte != Corte::Ninguno && QByteArray::fromRawData(datos, n).contains(kCommit)) {
            corte_ = Corte::Ninguno;
            ++cortados_;
            if (corte == Corte::TrasEnviar) {
                (void)enviar(p.servidor, datos, n);
                cerrar(p.cliente);
                p.sordo = true;
            } else {
                cerrar(p.cliente);
                cerrar(p.servidor);
            }
            return;
        }
        if (!enviar(p.servidor, datos, n)) {
            cerrar(p.cliente);
            cerrar(p.servidor);
        }
    }

    void delServidor(Par &p)
    {
        char datos[65536];
        const ssize_t n = ::recv(p.servidor, datos, sizeof datos, 0);
        // Once the server has answered the lost commit, its side goes too.
        if (n <= 0 || p.sordo || !enviar(p.cliente, datos, n)) {
            cerrar(p.cliente);
            cerrar(p.servidor);
        }
    }

    void atender()
    {
        while (!fin_) {
            std::vector<pollfd> fds{{escucha_, POLLIN, 0}};
            for (const Par &p : pares_) {
                fds.push_back({p.cliente, short(p.cliente >= 0 ? POLLIN : 0), 0});
                fds.push_back({p.servidor, short(p.servidor >= 0 ? POLLIN : 0), 0});
            }
            if (::poll(fds.data(), fds.size(), 50) <= 0)
                continue;
            if (fds[0].revents & POLLIN)
                aceptar();
            for (std::size_t i = 0; i < pares_.size() && 1 + 2 * i + 1 < fds.size(); ++i) {
                Par &p = pares_[i];
                if (p.cliente >= 0 && (fds[1 + 2 * i].revents & (POLLIN | POLLHUP | POLLERR)))
                    delCliente(p);
                if (p.servidor >= 0 && (fds[2 + 2 * i].revents & (POLLIN | POLLHUP | POLLERR)))
                    delServidor(p);
            }
        }
    }

    QTemporaryDir dir_{QStringLiteral("/tmp/telquin-corte-XXXXXX")};
    QByteArray servidor_;
    QByteArray ruta_;
    int escucha_ = -1;
    std::vector<Par> pares_;
    std::atomic<Corte> corte_{Corte::Ninguno};
    std::atomic<bool> rechazar_{false};
    std::atomic<int> cortados_{0};
    std::atomic<bool> fin_{false};
    std::thread hilo_;
};
