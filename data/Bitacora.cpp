// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/Bitacora.h"

#include "data/Archivos.h"

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

const QString kEnlace = QStringLiteral("es un enlace simbólico");
const QString kNoComun = QStringLiteral("no es un archivo común");

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

// 0 or the errno of the folder that could not be made.
int crearCarpetas(const QByteArray &carpeta)
{
    if (::mkdir(carpeta.constData(), 0700) == 0 || errno == EEXIST)
        return 0;
    if (errno != ENOENT)
        return errno;
    const qsizetype barra = carpeta.lastIndexOf('/');
    if (barra <= 0)
        return ENOENT;
    if (const int error = crearCarpetas(carpeta.left(barra)))
        return error;
    return ::mkdir(carpeta.constData(), 0700) == 0 || errno == EEXIST ? 0 : errno;
}

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) { }
    ~Descriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    [[nodiscard]] int fd() const { return fd_; }
    // 0 or the errno of close(2).
    int cerrar()
    {
        const int resultado = ::close(fd_);
        fd_ = -1;
        return resultado == 0 ? 0 : errno;
    }

private:
    int fd_;
};

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

struct BitacoraAbierta {
    int fd = -1;
    int error = 0; // errno of open(2), when it failed
    QString motivo; // why it is not used; empty when fd is open
};

// Only the user's own regular file is used, so that a link planted there cannot send
// the lines elsewhere, and nothing at that path (a FIFO, a device) can block.
BitacoraAbierta abrirBitacora(const QString &ruta, int modo, Acceso acceso)
{
    const QByteArray nombre = QFile::encodeName(ruta);
    BitacoraAbierta abierta;
    abierta.fd = ::open(nombre.constData(), modo | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    struct stat estado { };
    if (abierta.fd < 0) {
        abierta.error = errno;
        const bool existe = ::lstat(nombre.constData(), &estado) == 0;
        abierta.motivo = existe && S_ISLNK(estado.st_mode)                   ? kEnlace
            : existe && !S_ISREG(estado.st_mode) && !S_ISDIR(estado.st_mode) ? kNoComun
                                                                             : motivoDelSistema(abierta.error, acceso);
        return abierta;
    }
    if (::fstat(abierta.fd, &estado) != 0)
        abierta.motivo = motivoDelSistema(errno, acceso);
    else if (!S_ISREG(estado.st_mode))
        abierta.motivo = S_ISDIR(estado.st_mode) ? motivoDelSistema(EISDIR, acceso) : kNoComun;
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

} // namespace

QString rutaBitacora()
{
    QString carpeta = qEnvironmentVariable("XDG_STATE_HOME");
    // Relative values are to be ignored, as the XDG base directory rules say.
    if (carpeta.isEmpty() || QDir::isRelativePath(carpeta))
        carpeta = QDir::homePath() + QStringLiteral("/.local/state");
    return carpeta + QStringLiteral("/telquin/cambios.csv");
}

Cambio nuevoCambio(QString base, QString posicion, QString anterior, QString nueva, QString origen)
{
    // Whole seconds, as written, so a change compares equal to itself read back.
    return Cambio{QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch()),
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

QString lineaCsv(const QStringList &campos)
{
    // Room for every field, its comma and two quotes: one allocation per line.
    qsizetype largo = 0;
    for (const QString &campo : campos)
        largo += campo.size() + 3;
    QString linea;
    linea.reserve(largo);
    for (qsizetype i = 0; i < campos.size(); ++i) {
        QString campo = campos[i];
        if (i > 0)
            linea += u',';
        // One change, one physical line: the reader takes each line alone.
        if (campo.contains(u'\n') || campo.contains(u'\r'))
            campo.replace(u'\n', u' ').replace(u'\r', u' ');
        const bool citar = (!campo.isEmpty() && (campo.front().isSpace() || campo.back().isSpace()))
            || campo.contains(u',') || campo.contains(u'"');
        if (citar)
            linea += u'"' + QString(campo).replace(u'"', QStringLiteral("\"\"")) + u'"';
        else
            linea += campo;
    }
    return linea;
}

std::optional<QString> anotarCambios(const QString &ruta, const QList<Cambio> &cambios)
{
    if (cambios.isEmpty())
        return std::nullopt;

    QByteArray lineas;
    // The changes of one batch share their moment; writing a date costs more than
    // the rest of its line.
    QDateTime fechaPrevia;
    QString textoFecha;
    for (const Cambio &c : cambios) {
        if (textoFecha.isNull() || !mismaFecha(c.fecha, fechaPrevia)) {
            fechaPrevia = c.fecha;
            textoFecha = fechaBitacora(c.fecha);
        }
        lineas
            += lineaCsv({textoFecha, c.usuario, c.equipo, c.base, c.posicion, c.anterior, c.nueva, c.origen}).toUtf8();
        lineas += '\n';
    }

    if (const int error = crearCarpetas(QFile::encodeName(QFileInfo(ruta).absolutePath())))
        return motivoDelSistema(error, Acceso::Escritura);

    // An existing file keeps its mode: whoever widened it meant to.
    const BitacoraAbierta abierta = abrirBitacora(ruta, O_RDWR | O_APPEND | O_CREAT, Acceso::Escritura);
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
    if (tamanoPrevio == 0)
        lineas.prepend(lineaCsv(kCabecera).toUtf8() + '\n');
    else if (::pread(archivo.fd(), &ultimo, 1, tamanoPrevio - 1) != 1)
        return motivoDelSistema(errno, Acceso::Lectura);
    // A line left without its end (torn, or edited by hand) stays a line of its own.
    if (ultimo != '\n')
        lineas.prepend('\n');

    // Normally one write(2); more only when the kernel takes part of it.
    qsizetype escritos = 0;
    while (escritos < lineas.size()) {
        const ssize_t n = ::write(archivo.fd(), lineas.constData() + escritos, size_t(lineas.size() - escritos));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : EIO;
            // Cut a torn line off, or the next one appended would be glued to it.
            if (escritos > 0)
                (void)::ftruncate(archivo.fd(), tamanoPrevio);
            return motivoDelSistema(error, Acceso::Escritura);
        }
        escritos += n;
    }
    if (::fsync(archivo.fd()) != 0)
        return motivoDelSistema(errno, Acceso::Escritura);
    if (const int error = archivo.cerrar())
        return motivoDelSistema(error, Acceso::Escritura);
    return std::nullopt;
}

std::optional<QString> anotarCambio(const QString &ruta, const Cambio &cambio) { return anotarCambios(ruta, {cambio}); }

std::optional<QString> anotarEnBitacora(const QList<Cambio> &cambios)
{
    const QString ruta = rutaBitacora();
    const std::optional<QString> motivo = anotarCambios(ruta, cambios);
    if (!motivo)
        return std::nullopt;
    return mensajeFalloBitacora(ruta, *motivo);
}

const QStringList &columnasBitacora() { return kCabecera; }

QString mensajeFalloBitacora(const QString &ruta, const QString &motivo)
{
    return QStringLiteral("El cambio se guardó en la base de datos, pero no se pudo anotar en el registro de cambios ")
        + QDir::toNativeSeparators(ruta) + QStringLiteral(": ") + motivo;
}

namespace {

// The change one journal line holds, or why it holds none (then *motivo is set).
std::optional<Cambio> leerLinea(QByteArrayView bytes, int numero, QString *motivo)
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
    return Cambio{fecha, campos[1], campos[2], campos[3], campos[4], campos[5], campos[6], campos[7]};
}

} // namespace

std::optional<QString> recorrerBitacora(const QString &ruta, const QString &posicion, const AlCambio &alCambio,
                                        const AlLineaIlegible &alLineaIlegible)
{
    const BitacoraAbierta abierta = abrirBitacora(ruta, O_RDONLY, Acceso::Lectura);
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
    int numero = 0;
    bool seguir = true;
    const auto leerUna = [&](QByteArrayView linea) {
        ++numero;
        if (linea.endsWith('\r'))
            linea.chop(1);
        if (linea.isEmpty() || (numero == 1 && linea == cabecera))
            return;
        QString motivo;
        const std::optional<Cambio> cambio = leerLinea(linea, numero, &motivo);
        if (!cambio) {
            alLineaIlegible(numero, motivo);
            return;
        }
        if (posicion.isEmpty() || cambio->posicion == posicion)
            seguir = alCambio(*cambio);
    };
    char bloque[65536];
    off_t leidos = 0;
    while (seguir && leidos < estado.st_size) {
        const ssize_t n = ::read(archivo.fd(), bloque, size_t(std::min<off_t>(sizeof bloque, estado.st_size - leidos)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return motivoDelSistema(errno, Acceso::Lectura);
        if (n == 0)
            break;
        leidos += n;
        const QByteArrayView trozo(bloque, n);
        qsizetype inicio = 0;
        for (qsizetype fin = trozo.indexOf('\n'); fin >= 0 && seguir; fin = trozo.indexOf('\n', inicio)) {
            if (pendiente.isEmpty()) {
                leerUna(trozo.sliced(inicio, fin - inicio));
            } else {
                pendiente += trozo.sliced(inicio, fin - inicio);
                leerUna(pendiente);
                pendiente.clear();
            }
            inicio = fin + 1;
        }
        pendiente += trozo.sliced(inicio);
    }
    if (seguir && !pendiente.isEmpty())
        leerUna(pendiente);
    return std::nullopt;
}

QList<Cambio> leerBitacora(const QString &ruta, const QString &posicion, QString *error)
{
    QList<Cambio> cambios;
    QString primera;
    const std::optional<QString> fallo = recorrerBitacora(
        ruta, posicion,
        [&](const Cambio &c) {
            cambios.append(c);
            return true;
        },
        [&](int, const QString &motivo) {
            if (primera.isEmpty())
                primera = motivo;
        });
    if (error)
        *error = fallo.value_or(primera);
    return cambios;
}
