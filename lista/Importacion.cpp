// SPDX-License-Identifier: GPL-3.0-or-later
#include "lista/Importacion.h"

#include "archivos/Sistema.h"
#include "codes/Codigos.h"
#include "codes/Unidades.h"
#include "lista/Indice.h"
#include "lista/Lineas.h"
#include "lista/Zip.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qint64 kLineasPorAvance = 2000;
// What a new index is called while it is written; the pattern mkstemp fills.
const QString kPrefijoTemporal = QStringLiteral(".lista-");
// A temporary file left by an import that was killed is removed once it is older
// than this and no import holds it.
constexpr qint64 kAbandonadoTrasSegundos = 60;

[[noreturn]] void fallar(const QString &mensaje) { throw ErrorDeLista(mensaje.toStdString()); }

// The new index while it is written: locked by this import, removed unless it ends
// renamed into place.
class Temporal {
public:
    explicit Temporal(const QString &carpeta)
    {
        QByteArray plantilla = QFile::encodeName(carpeta + u'/' + kPrefijoTemporal) + "XXXXXX";
        fd_ = ::mkostemp(plantilla.data(), O_CLOEXEC);
        if (fd_ < 0)
            fallar(QStringLiteral("no se puede escribir en %1: %2")
                       .arg(carpeta, motivoDelSistema(errno, Acceso::Escritura)));
        ruta_ = QFile::decodeName(plantilla);
        (void)::flock(fd_, LOCK_EX);
        // Readable by all, as an index an administrator puts under XDG_DATA_DIRS must be;
        // the user's own folder keeps it private.
        (void)::fchmod(fd_, 0644);
    }
    ~Temporal()
    {
        if (!ruta_.isEmpty())
            (void)::unlink(QFile::encodeName(ruta_).constData());
        ::close(fd_);
    }
    Temporal(const Temporal &) = delete;
    Temporal &operator=(const Temporal &) = delete;

    [[nodiscard]] const QString &ruta() const { return ruta_; }

    // Synced, then renamed over `destino`, and the rename synced with its folder.
    void ponerEnLugarDe(const QString &destino)
    {
        if (::fsync(fd_) != 0)
            fallar(
                QStringLiteral("no se puede escribir %1: %2").arg(ruta_, motivoDelSistema(errno, Acceso::Escritura)));
        if (::rename(QFile::encodeName(ruta_).constData(), QFile::encodeName(destino).constData()) != 0)
            fallar(QStringLiteral("no se puede poner la lista en %1: %2")
                       .arg(destino, motivoDelSistema(errno, Acceso::Escritura)));
        ruta_.clear();
        Descriptor carpeta(::open(QFile::encodeName(QFileInfo(destino).absolutePath()).constData(),
                                  O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (carpeta.fd() >= 0)
            (void)::fsync(carpeta.fd());
    }

private:
    int fd_ = -1;
    QString ruta_;
};

// Removes what imports killed before their end left: files no import holds.
void quitarAbandonados(const QString &carpeta)
{
    const QDir dir(carpeta);
    const QDateTime antes = QDateTime::currentDateTime().addSecs(-kAbandonadoTrasSegundos);
    for (const QFileInfo &f : dir.entryInfoList({kPrefijoTemporal + u'*'}, QDir::Files | QDir::Hidden)) {
        if (f.lastModified() > antes)
            continue;
        const QByteArray ruta = QFile::encodeName(f.absoluteFilePath());
        Descriptor fd(::open(ruta.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
        if (fd.fd() >= 0 && ::flock(fd.fd(), LOCK_EX | LOCK_NB) == 0)
            (void)::unlink(ruta.constData());
    }
}

struct Texto {
    QString nombre;
    QByteArray datos;
};

// The file's bytes, or its zip's member.
Texto leerTexto(const QString &archivo)
{
    const QFileInfo info(archivo);
    if (info.isDir())
        fallar(QStringLiteral("%1 es una carpeta, no un archivo").arg(archivo));
    const ArchivoAbierto abierto = abrirArchivoComun(archivo, O_RDONLY | O_CLOEXEC, Acceso::Lectura, Enlaces::Seguir);
    if (abierto.fd < 0)
        fallar(QStringLiteral("no se puede leer el archivo %1: %2").arg(archivo, abierto.motivo));
    Descriptor fd(abierto.fd);
    LecturaCompleta leida = leerHasta(fd.fd(), kListaMaxima);
    if (leida.pasaDelLimite)
        fallar(QStringLiteral("el archivo %1 supera los %2 MiB").arg(archivo).arg(kListaMaxima / (1024 * 1024)));
    if (leida.error)
        fallar(QStringLiteral("no se puede leer el archivo %1: %2")
                   .arg(archivo, motivoDelSistema(leida.error, Acceso::Lectura)));
    if (esZip(leida.datos)) {
        try {
            MiembroDeZip miembro = miembroDeLaLista(leida.datos, kListaMaxima);
            return {miembro.nombre, std::move(miembro.datos)};
        } catch (const ErrorDeLista &e) {
            fallar(archivo + QStringLiteral(": ") + e.mensaje());
        }
    }
    return {info.fileName(), std::move(leida.datos)};
}

qint64 contarLineas(QByteArrayView datos)
{
    DivisorDeLineas divisor(datos);
    QByteArrayView linea;
    qint64 numero = 0;
    while (divisor.siguiente(linea, numero)) {
    }
    return numero;
}

} // namespace

QDate fechaDelNombre(const QString &nombre)
{
    static const QRegularExpression ocho(QStringLiteral("(?<![0-9])([0-9]{2})([0-9]{2})([0-9]{4})(?![0-9])"));
    const QRegularExpressionMatch m = ocho.match(nombre);
    if (!m.hasMatch())
        return {};
    return QDate(m.captured(3).toInt(), m.captured(2).toInt(), m.captured(1).toInt());
}

Importada importarLista(const QString &archivo, const QString &destino, const SeguimientoDeImportacion &seguimiento)
{
    const Texto texto = leerTexto(archivo);
    const QString carpeta = QFileInfo(destino).absolutePath();
    if (const int error = crearCarpetas(QFile::encodeName(carpeta)))
        fallar(QStringLiteral("no se puede crear la carpeta %1: %2")
                   .arg(carpeta, motivoDelSistema(error, Acceso::Escritura)));
    quitarAbandonados(carpeta);

    Importada importada;
    DatosDeLista &d = importada.datos;
    d.archivo = texto.nombre;
    d.tamano = texto.datos.size();
    d.sha256 = QString::fromLatin1(QCryptographicHash::hash(texto.datos, QCryptographicHash::Sha256).toHex());
    d.fecha = fechaDelNombre(texto.nombre);
    d.ruta = destino;

    Temporal temporal(carpeta);
    EscritorDeIndice escritor(temporal.ruta());
    const qint64 total = contarLineas(texto.datos);
    DivisorDeLineas divisor(texto.datos);
    CaminoDeEncabezados camino;
    QByteArrayView bytes;
    qint64 numero = 0;
    while (divisor.siguiente(bytes, numero)) {
        if (numero % kLineasPorAvance == 0) {
            if (seguimiento.interrumpir && seguimiento.interrumpir())
                throw ImportacionInterrumpida();
            if (seguimiento.avance)
                seguimiento.avance(numero, total);
        }
        const LineaDeLista linea = leerLineaDeLista(bytes);
        switch (linea.tipo) {
        case TipoDeLinea::Posicion:
            ++d.posiciones;
            if (!pistaLetraDeControl(linea.codigo).isEmpty())
                ++d.letrasDistintas;
            if (!linea.unidad.isEmpty() && !nombreDeUnidad(linea.unidad))
                ++d.unidadesDesconocidas;
            escritor.partida(linea.codigo, linea.unidad, linea.descripcion, camino.sobre(linea.digitos));
            break;
        case TipoDeLinea::Encabezado:
            ++d.encabezados;
            camino.encabezado(linea.digitos, linea.descripcion);
            break;
        case TipoDeLinea::OtroTipo:
            ++d.otrosTipos;
            break;
        case TipoDeLinea::Vacia:
            break;
        case TipoDeLinea::Ilegible:
            if (++d.ilegibles <= 10)
                importada.ilegibles << numero;
            break;
        }
    }
    if (d.posiciones == 0)
        fallar(QStringLiteral("%1 no tiene ninguna posición de la lista (líneas «2@posición@...»)")
                   .arg(texto.nombre == QFileInfo(archivo).fileName() ? archivo : archivo + u':' + texto.nombre));
    if (seguimiento.interrumpir && seguimiento.interrumpir())
        throw ImportacionInterrumpida();
    d.importada = QDateTime::currentDateTime();
    escritor.terminar(d);
    temporal.ponerEnLugarDe(destino);
    return importada;
}
