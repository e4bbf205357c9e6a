// SPDX-License-Identifier: GPL-3.0-or-later
#include "archivos/Bitacora.h"

#include "archivos/Carpetas.h"
#include "archivos/Csv.h"
#include "archivos/Sistema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>
#include <QTimeZone>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

namespace {

const QStringList kCabecera = {
    QStringLiteral("fecha"),    QStringLiteral("usuario"),  QStringLiteral("equipo"), QStringLiteral("base"),
    QStringLiteral("posicion"), QStringLiteral("anterior"), QStringLiteral("nueva"),  QStringLiteral("origen"),
};

QString nombreDeUsuario()
{
    passwd pw{};
    passwd *encontrado = nullptr;
    char buffer[4096];
    if (::getpwuid_r(::geteuid(), &pw, buffer, sizeof buffer, &encontrado) == 0 && encontrado && pw.pw_name[0])
        return QString::fromLocal8Bit(pw.pw_name);
    for (const char *variable : {"USER", "LOGNAME"}) {
        const QString valor = qEnvironmentVariable(variable);
        if (!valor.isEmpty())
            return valor;
    }
    return QString::number(::geteuid());
}

constexpr auto kEsperaDelCandado = std::chrono::seconds(2);
const QString kOcupado = QStringLiteral("otro programa mantiene ocupado el registro");

// 0 or the errno; EWOULDBLOCK when another holder kept the lock past the wait, which
// is bounded because the window waits on it with a change already stored.
int bloquear(int fd, int modo)
{
    using namespace std::chrono;
    const auto limite = steady_clock::now() + kEsperaDelCandado;
    auto pausa = milliseconds(1);
    for (;;) {
        if (::flock(fd, modo | LOCK_NB) == 0)
            return 0;
        if (errno == EINTR)
            continue;
        if (errno != EWOULDBLOCK)
            return errno;
        const auto ahora = steady_clock::now();
        if (ahora >= limite)
            return EWOULDBLOCK;
        std::this_thread::sleep_for(std::min<steady_clock::duration>(pausa, limite - ahora));
        pausa = std::min(pausa * 2, milliseconds(20));
    }
}

QString motivoDelCandado(int error, Acceso acceso)
{
    return error == EWOULDBLOCK ? kOcupado : motivoDelSistema(error, acceso);
}

// Only the user's own regular file is used, so that a link planted there cannot send
// the lines elsewhere, and nothing at that path (a FIFO, a device) can block.
ArchivoAbierto abrirBitacora(const QString &ruta, int modo, Acceso acceso)
{
    ArchivoAbierto abierta = abrirArchivoComun(ruta, modo, acceso, Enlaces::Rechazar);
    struct stat estado { };
    if (abierta.fd < 0)
        return abierta;
    if (::fstat(abierta.fd, &estado) != 0)
        abierta.motivo = motivoDelSistema(errno, acceso);
    else if (estado.st_uid != ::geteuid())
        abierta.motivo = QStringLiteral("pertenece a otro usuario");
    if (!abierta.motivo.isEmpty()) {
        ::close(abierta.fd);
        abierta.fd = -1;
    }
    return abierta;
}

// Written alike: the same moment, told in the same offset or zone.
bool mismaFecha(const QDateTime &a, const QDateTime &b)
{
    if (a != b || a.timeSpec() != b.timeSpec())
        return false;
    if (a.timeSpec() == Qt::OffsetFromUTC)
        return a.offsetFromUtc() == b.offsetFromUtc();
    if (a.timeSpec() == Qt::TimeZone)
        return a.timeZone() == b.timeZone();
    return true;
}

// 0 or the errno: normally one write(2), more only when the kernel takes part.
int escribirTodo(int fd, QByteArrayView datos)
{
    qsizetype escritos = 0;
    while (escritos < datos.size()) {
        const ssize_t n = ::write(fd, datos.data() + escritos, size_t(datos.size() - escritos));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : EIO;
        escritos += n;
    }
    return 0;
}

} // namespace

QString rutaBitacora()
{
    return carpetaXdg("XDG_STATE_HOME", QStringLiteral(".local/state")) + QStringLiteral("/telquin/cambios.csv");
}

Anotacion nuevaAnotacion(QString base, QString posicion, QString anterior, QString nueva, QString origen)
{
    // Whole seconds, as written, so a change compares equal to itself read back.
    return Anotacion{QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch()),
                     nombreDeUsuario(),
                     QSysInfo::machineHostName(),
                     std::move(base),
                     std::move(posicion),
                     std::move(anterior),
                     std::move(nueva),
                     std::move(origen)};
}

QString fechaBitacora(const QDateTime &fecha)
{
    const int desfase = fecha.offsetFromUtc();
    const int minutos = std::abs(desfase) / 60;
    return fecha.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss"))
        + QString::asprintf("%c%02d:%02d", desfase < 0 ? '-' : '+', minutos / 60, minutos % 60);
}

std::optional<QString> anotarEn(const QString &ruta, const QList<Anotacion> &cambios)
{
    if (cambios.isEmpty())
        return std::nullopt;

    QByteArray lineas;
    // The changes of one batch share their moment, user, machine and database: those
    // four fields are written once for all the lines that share them.
    const Anotacion *previa = nullptr;
    QByteArray comun;
    for (const Anotacion &c : cambios) {
        if (!previa || !mismaFecha(c.fecha, previa->fecha) || c.usuario != previa->usuario || c.equipo != previa->equipo
            || c.base != previa->base) {
            comun.clear();
            agregarLineaCsv(comun, {fechaBitacora(c.fecha), c.usuario, c.equipo, c.base});
            comun += ',';
            previa = &c;
        }
        lineas += comun;
        agregarLineaCsv(lineas, {c.posicion, c.anterior, c.nueva, c.origen});
        lineas += '\n';
    }

    if (const int error = crearCarpetas(QFile::encodeName(QFileInfo(ruta).absolutePath())))
        return motivoDelSistema(error, Acceso::Escritura);

    // An existing file keeps its mode: whoever widened it meant to.
    const ArchivoAbierto abierta = abrirBitacora(ruta, O_RDWR | O_APPEND | O_CREAT, Acceso::Escritura);
    if (abierta.fd < 0)
        return abierta.motivo;
    Descriptor archivo(abierta.fd);
    if (const int error = bloquear(archivo.fd(), LOCK_EX))
        return motivoDelCandado(error, Acceso::Escritura);

    struct stat estado { };
    if (::fstat(archivo.fd(), &estado) != 0)
        return motivoDelSistema(errno, Acceso::Escritura);
    const off_t tamanoPrevio = estado.st_size;
    char ultimo = '\n';
    // What goes before the lines is written on its own: putting it in front of them
    // would copy a large batch's lines once more.
    QByteArray antes;
    if (tamanoPrevio == 0)
        antes = lineaCsv(kCabecera).toUtf8() + '\n';
    else if (::pread(archivo.fd(), &ultimo, 1, tamanoPrevio - 1) != 1)
        return motivoDelSistema(errno, Acceso::Lectura);
    // A line left without its end (torn, or edited by hand) stays a line of its own.
    if (ultimo != '\n')
        antes = "\n";

    for (const QByteArrayView parte : {QByteArrayView(antes), QByteArrayView(lineas)}) {
        if (const int error = escribirTodo(archivo.fd(), parte)) {
            // Cut a torn line off, or the next one appended would be glued to it.
            (void)::ftruncate(archivo.fd(), tamanoPrevio);
            return motivoDelSistema(error, Acceso::Escritura);
        }
    }
    if (::fsync(archivo.fd()) != 0)
        return motivoDelSistema(errno, Acceso::Escritura);
    if (const int error = archivo.cerrar())
        return motivoDelSistema(error, Acceso::Escritura);
    return std::nullopt;
}

const QStringList &columnasBitacora() { return kCabecera; }

namespace {

// A change takes a few hundred bytes; a longer line is no change, and is not kept.
constexpr qsizetype kLineaMaxima = qsizetype(1) << 20;

// The change one journal line holds, or why it holds none (then *motivo is set).
std::optional<Anotacion> leerLinea(QByteArrayView bytes, int numero, QString *motivo)
{
    int sinCerrar = 0;
    std::vector<FilaCsv> filas = partirCsv(QString::fromUtf8(bytes), u',', false, &sinCerrar);
    if (sinCerrar) {
        *motivo = QStringLiteral("la línea %1 abre unas comillas que no se cierran").arg(numero);
        return std::nullopt;
    }
    const QStringList campos = filas.size() == 1 ? std::move(filas.front().campos) : QStringList();
    if (campos.size() != kCabecera.size()) {
        *motivo
            = QStringLiteral("la línea %1 tiene %2 campos, no %3").arg(numero).arg(campos.size()).arg(kCabecera.size());
        return std::nullopt;
    }
    const QDateTime fecha = QDateTime::fromString(campos[0], Qt::ISODate);
    if (!fecha.isValid()) {
        *motivo = QStringLiteral("la línea %1 tiene una fecha que no se entiende: %2").arg(numero).arg(campos[0]);
        return std::nullopt;
    }
    return Anotacion{fecha, campos[1], campos[2], campos[3], campos[4], campos[5], campos[6], campos[7]};
}

} // namespace

std::optional<QString> recorrerBitacora(const QString &ruta, const QString &posicion, const AlAnotacion &alAnotacion,
                                        const AlLineaIlegible &alLineaIlegible)
{
    const ArchivoAbierto abierta = abrirBitacora(ruta, O_RDONLY, Acceso::Lectura);
    if (abierta.fd < 0)
        return abierta.error == ENOENT ? std::nullopt : std::optional<QString>(abierta.motivo);
    Descriptor archivo(abierta.fd);

    // Held only to learn how far whole lines reach: no writer is halfway through one
    // meanwhile. The lines are read and handed on without it, so a long reading
    // never keeps a writer waiting.
    if (const int error = bloquear(archivo.fd(), LOCK_SH))
        return motivoDelCandado(error, Acceso::Lectura);
    struct stat estado { };
    const int errorDeTamano = ::fstat(archivo.fd(), &estado) == 0 ? 0 : errno;
    (void)::flock(archivo.fd(), LOCK_UN);
    if (errorDeTamano)
        return motivoDelSistema(errorDeTamano, Acceso::Lectura);

    const QByteArray cabecera = lineaCsv(kCabecera).toUtf8();
    QByteArray pendiente; // the start of a line whose end has not been read yet
    bool larga = false; // the line being read has passed kLineaMaxima: its bytes are dropped
    int numero = 0;
    bool seguir = true;
    const auto leerUna = [&](QByteArrayView linea) {
        ++numero;
        if (larga) {
            larga = false;
            alLineaIlegible(numero, QStringLiteral("la línea %1 es más larga que 1 MiB").arg(numero));
            return;
        }
        if (linea.endsWith('\r'))
            linea.chop(1);
        if (linea.isEmpty() || (numero == 1 && linea == cabecera))
            return;
        QString motivo;
        const std::optional<Anotacion> cambio = leerLinea(linea, numero, &motivo);
        if (!cambio) {
            alLineaIlegible(numero, motivo);
            return;
        }
        if (posicion.isEmpty() || cambio->posicion == posicion)
            seguir = alAnotacion(*cambio);
    };
    // Keeps the start of a line, unless that makes it too long to be a change.
    const auto guardar = [&](QByteArrayView parte) {
        if (larga)
            return;
        if (pendiente.size() + parte.size() > kLineaMaxima) {
            larga = true;
            pendiente = QByteArray();
            return;
        }
        pendiente += parte;
    };
    const int error = leerBloques(archivo.fd(), estado.st_size, [&](QByteArrayView trozo) {
        qsizetype inicio = 0;
        for (qsizetype fin = trozo.indexOf('\n'); fin >= 0 && seguir; fin = trozo.indexOf('\n', inicio)) {
            if (pendiente.isEmpty() && !larga) {
                leerUna(trozo.sliced(inicio, fin - inicio));
            } else {
                guardar(trozo.sliced(inicio, fin - inicio));
                leerUna(pendiente);
                pendiente.clear();
            }
            inicio = fin + 1;
        }
        if (seguir)
            guardar(trozo.sliced(inicio));
        return seguir;
    });
    if (error)
        return motivoDelSistema(error, Acceso::Lectura);
    if (seguir && (!pendiente.isEmpty() || larga))
        leerUna(pendiente);
    return std::nullopt;
}
