// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Senales.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <iterator>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kSenales[] = {SIGINT, SIGTERM, SIGHUP};

int tuberia[2] = {-1, -1};
volatile std::sig_atomic_t primera = 0;
struct sigaction anteriores[std::size(kSenales)]{};

extern "C" void alRecibir(int senal)
{
    if (!primera)
        primera = senal;
    const int error = errno;
    const char byte = char(senal);
    (void)!::write(tuberia[1], &byte, 1);
    errno = error;
}

} // namespace

SenalesDeCierre::SenalesDeCierre(QObject *contexto, void (*alLlegar)(int, void *), void *datos)
{
    primera = 0;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, tuberia) != 0)
        return;
    auto *aviso = new QSocketNotifier(tuberia[0], QSocketNotifier::Read, contexto);
    QObject::connect(aviso, &QSocketNotifier::activated, contexto, [alLlegar, datos] {
        char bytes[16];
        while (::read(tuberia[0], bytes, sizeof bytes) > 0) {
        }
        if (primera)
            alLlegar(primera, datos);
    });
    struct sigaction accion { };
    accion.sa_handler = alRecibir;
    sigemptyset(&accion.sa_mask);
    accion.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(kSenales); ++i)
        ::sigaction(kSenales[i], &accion, &anteriores[i]);
}

SenalesDeCierre::~SenalesDeCierre()
{
    for (std::size_t i = 0; i < std::size(kSenales); ++i)
        ::sigaction(kSenales[i], &anteriores[i], nullptr);
    for (int &fd : tuberia)
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
}

int SenalesDeCierre::llegada() { return primera; }
