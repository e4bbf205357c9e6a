// SPDX-License-Identifier: GPL-3.0-or-later
#include "Bitacora.h"

#include "Archivos.h"

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

int bloquear(int fd, int modo)
{
    while (::flock(fd, modo) != 0) {
        if (errno != EINTR)
            return errno;
    }
    return 0;
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
        const QString &campo = campos[i];
        if (i > 0)
            linea += u',';
        bool citar = !campo.isEmpty() && (campo.front().isSpace() || campo.back().isSpace());
        for (qsizetype j = 0; j < campo.size() && !citar; ++j) {
            const char16_t c = campo[j].unicode();
            citar = c == u',' || c == u'"' || c == u'\n' || c == u'\r';
        }
        if (citar) {
            QString doblado = campo;
            doblado.replace(u'"', QStringLiteral("\"\""));
            linea += u'"' + doblado + u'"';
        } else {
            linea += campo;
        }
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
    Descriptor archivo(::open(QFile::encodeName(ruta).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600));
    if (archivo.fd() < 0)
        return motivoDelSistema(errno, Acceso::Escritura);
    if (const int error = bloquear(archivo.fd(), LOCK_EX))
        return motivoDelSistema(error, Acceso::Escritura);

    struct stat estado { };
    if (::fstat(archivo.fd(), &estado) != 0)
        return motivoDelSistema(errno, Acceso::Escritura);
    const off_t tamanoPrevio = estado.st_size;
    if (tamanoPrevio == 0)
        lineas.prepend(lineaCsv(kCabecera).toUtf8() + '\n');

    // Normally one write(2); more only when the kernel takes part of it.
    qsizetype escritos = 0;
    while (escritos < lineas.size()) {
        const ssize_t n = ::write(archivo.fd(), lineas.constData() + escritos, size_t(lineas.size() - escritos));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : EIO;
            // Cut a torn line off, or the next one appended would be glued to it.
            if (escritos > 0 && S_ISREG(estado.st_mode))
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

QList<Cambio> leerBitacora(const QString &ruta, const QString &posicion, QString *error)
{
    const auto fallo = [&](const QString &motivo) {
        if (error && error->isEmpty())
            *error = motivo;
    };
    if (error)
        error->clear();

    Descriptor archivo(::open(QFile::encodeName(ruta).constData(), O_RDONLY | O_CLOEXEC));
    if (archivo.fd() < 0) {
        if (errno != ENOENT)
            fallo(motivoDelSistema(errno, Acceso::Escritura));
        return {};
    }
    // Shared, so a line being appended is never read half written.
    if (const int e = bloquear(archivo.fd(), LOCK_SH)) {
        fallo(motivoDelSistema(e, Acceso::Lectura));
        return {};
    }
    QByteArray datos;
    char bloque[65536];
    for (;;) {
        const ssize_t n = ::read(archivo.fd(), bloque, sizeof bloque);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            fallo(motivoDelSistema(errno, Acceso::Escritura));
            return {};
        }
        if (n == 0)
            break;
        datos.append(bloque, n);
    }

    int sinCerrar = 0;
    const std::vector<FilaCsv> filas = partirCsv(QString::fromUtf8(datos), u',', false, &sinCerrar);
    QList<Cambio> cambios;
    for (std::size_t i = 0; i < filas.size(); ++i) {
        const FilaCsv &fila = filas[i];
        if (i == 0 && fila.campos == kCabecera)
            continue;
        if (fila.campos.size() != kCabecera.size()) {
            fallo(QStringLiteral("la línea %1 tiene %2 campos, no %3")
                      .arg(fila.linea)
                      .arg(fila.campos.size())
                      .arg(kCabecera.size()));
            continue;
        }
        const QDateTime fecha = QDateTime::fromString(fila.campos[0], Qt::ISODate);
        if (!fecha.isValid()) {
            fallo(QStringLiteral("la línea %1 tiene una fecha que no se entiende: %2")
                      .arg(fila.linea)
                      .arg(fila.campos[0]));
            continue;
        }
        if (!posicion.isEmpty() && fila.campos[4] != posicion)
            continue;
        cambios.append(Cambio{fecha, fila.campos[1], fila.campos[2], fila.campos[3], fila.campos[4], fila.campos[5],
                              fila.campos[6], fila.campos[7]});
    }
    if (sinCerrar)
        fallo(QStringLiteral("la línea %1 abre unas comillas que no se cierran").arg(sinCerrar));
    return cambios;
}
