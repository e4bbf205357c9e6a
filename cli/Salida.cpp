// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Salida.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

void morirComoCat()
{
    std::signal(SIGPIPE, SIG_DFL);
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    ::pthread_sigmask(SIG_UNBLOCK, &pipe, nullptr);
    std::raise(SIGPIPE);
    ::_exit(128 + SIGPIPE);
}

// C1 too: a terminal may take U+009B as the start of a sequence, as it takes ESC [.
bool esControl(QChar c)
{
    const char16_t u = c.unicode();
    return u < 0x20 || (u >= 0x7f && u <= 0x9f);
}

} // namespace

QString sinControles(QStringView texto)
{
    QString limpio = texto.toString();
    for (QChar &c : limpio)
        if (esControl(c))
            c = c == u'\t' || c == u'\n' || c == u'\r' ? u' ' : u'?';
    return limpio;
}

bool abrirDescriptoresEstandar()
{
    bool salidaCerrada = false;
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        if (fd == STDOUT_FILENO)
            salidaCerrada = true;
        // The lowest free number: this one, as those below it are open.
        (void)::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    }
    return salidaCerrada;
}

int DestinoDescriptor::escribir(QByteArrayView bytes)
{
    if (cerrado_)
        return EBADF;
    qsizetype escritos = 0;
    while (escritos < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + escritos, size_t(bytes.size() - escritos));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : EIO;
            if (error == EPIPE && terminar_)
                morirComoCat();
            return error;
        }
        escritos += n;
    }
    return 0;
}

void Salida::linea(std::initializer_list<QStringView> campos)
{
    for (const QStringView c : campos)
        campo(c);
    finDeLinea();
}

void Salida::numero(qlonglong n)
{
    separar();
    char cifras[24];
    const auto fin = std::to_chars(std::begin(cifras), std::end(cifras), n).ptr;
    texto_.append(cifras, fin - cifras);
}

void Salida::campo(QStringView texto)
{
    separar();
    // Printable ASCII, nearly all a batch prints, is its own UTF-8.
    const auto ascii = [](QChar c) { return c.unicode() >= 0x20 && c.unicode() < 0x7f; };
    if (std::all_of(texto.begin(), texto.end(), ascii)) {
        const qsizetype inicio = texto_.size();
        texto_.resize(inicio + texto.size());
        std::transform(texto.begin(), texto.end(), texto_.data() + inicio, [](QChar c) { return char(c.unicode()); });
        return;
    }
    if (std::any_of(texto.begin(), texto.end(), esControl))
        codificar(sinControles(texto));
    else
        codificar(texto);
}

void Salida::finDeLinea()
{
    texto_ += '\n';
    primero_ = true;
    if (texto_.size() > (1 << 16))
        volcar();
}

void Salida::texto(QStringView texto) { codificar(texto); }

bool Salida::volcar()
{
    if (!texto_.isEmpty() && error_ == 0)
        error_ = destino_.escribir(texto_);
    texto_.resize(0);
    return error_ == 0;
}

void Salida::separar()
{
    if (!primero_)
        texto_ += '\t';
    primero_ = false;
}

void Salida::codificar(QStringView texto)
{
    const qsizetype inicio = texto_.size();
    texto_.resize(inicio + codificador_.requiredSpace(texto.size()));
    char *fin = codificador_.appendToBuffer(texto_.data() + inicio, texto);
    texto_.resize(fin - texto_.constData());
}
