// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Terminal.h"

#include <cerrno>
#include <cmath>
#include <iterator>
#include <unistd.h>

namespace {

constexpr int kSenales[] = {SIGINT, SIGTERM, SIGHUP};

volatile std::sig_atomic_t interrumpido = 0;
volatile std::sig_atomic_t cancelable = 0;
FilasEnBloque::Cancelacion cancelacion;
struct sigaction anteriores[std::size(kSenales)]{};

extern "C" void alInterrumpir(int senal)
{
    if (!interrumpido)
        interrumpido = senal;
    if (cancelable && cancelacion.cancelar) {
        const int error = errno;
        cancelacion.cancelar(cancelacion.datos);
        errno = error;
    }
}

constexpr qint64 kAntesDeMostrarMs = 1000;
constexpr qint64 kEntreDibujosMs = 200;

} // namespace

Interrupcion::Interrupcion()
{
    interrumpido = 0;
    struct sigaction accion { };
    accion.sa_handler = alInterrumpir;
    sigemptyset(&accion.sa_mask);
    // Reads, writes and waits on the database go on where they were.
    accion.sa_flags = SA_RESTART;
    for (const int senal : kSenales)
        (void)::sigaddset(&accion.sa_mask, senal);
    for (std::size_t i = 0; i < std::size(kSenales); ++i)
        ::sigaction(kSenales[i], &accion, &anteriores[i]);
}

Interrupcion::~Interrupcion()
{
    for (std::size_t i = 0; i < std::size(kSenales); ++i)
        ::sigaction(kSenales[i], &anteriores[i], nullptr);
    cancelable = 0;
    cancelacion = {};
}

void Interrupcion::cancelarCon(FilasEnBloque::Cancelacion c)
{
    cancelable = 0;
    cancelacion = c;
}

void Interrupcion::cancelarSentencia(bool si) { cancelable = si ? 1 : 0; }

bool Interrupcion::pedida() const { return interrumpido != 0; }

int Interrupcion::senal() const { return interrumpido; }

QString Interrupcion::nombreDeSenal(int senal)
{
    switch (senal) {
    case SIGINT:
        return QStringLiteral("Ctrl+C");
    case SIGTERM:
        return QStringLiteral("SIGTERM");
    case SIGHUP:
        return QStringLiteral("SIGHUP");
    default:
        return QStringLiteral("la señal %1").arg(senal);
    }
}

bool terminalConProgreso()
{
    const QByteArray terminal = qgetenv("TERM");
    return ::isatty(STDERR_FILENO) == 1 && !terminal.isEmpty() && terminal != "dumb";
}

QString lineaDeProgreso(const QString &participio, qsizetype hechas, qsizetype total, qint64 transcurridoMs,
                        const QString &que)
{
    QString linea = QStringLiteral("%1 %2 de %3 %4").arg(participio).arg(hechas).arg(total).arg(que);
    if (hechas <= 0 || transcurridoMs <= 0)
        return linea;
    const auto faltan = qint64(std::ceil(double(transcurridoMs) * double(total - hechas) / double(hechas) / 1000.0));
    if (faltan == 1)
        linea += QStringLiteral("; falta 1 s");
    else if (faltan > 1)
        linea += QStringLiteral("; faltan unos %1 s").arg(faltan);
    return linea;
}

Progreso::Progreso(bool activo, Destino &errores) : activo_(activo), errores_(errores) { reloj_.start(); }

Progreso::~Progreso() { borrar(); }

void Progreso::etapa(const QString &participio, qsizetype total, const QString &que)
{
    participio_ = participio;
    que_ = que;
    total_ = total;
    inicioEtapa_ = reloj_.elapsed();
}

void Progreso::avanzar(qsizetype hechas)
{
    if (!activo_)
        return;
    const qint64 ahora = reloj_.elapsed();
    if (ahora < kAntesDeMostrarMs || (dibujado_ >= 0 && ahora - dibujado_ < kEntreDibujosMs))
        return;
    dibujado_ = ahora;
    dibujar(lineaDeProgreso(participio_, hechas, total_, ahora - inicioEtapa_, que_));
}

void Progreso::borrar()
{
    if (!visible_)
        return;
    (void)errores_.escribir("\r\033[K");
    visible_ = false;
}

void Progreso::dibujar(const QString &linea)
{
    const QByteArray texto = "\r\033[K" + linea.toUtf8();
    (void)errores_.escribir(texto);
    visible_ = true;
}
