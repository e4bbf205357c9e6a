// SPDX-License-Identifier: GPL-3.0-or-later
#include "lista/Zip.h"

#include "lista/ListaOficial.h"

#include <QStringList>

#include <archive.h>
#include <archive_entry.h>

#include <memory>

namespace {

using Archivo = std::unique_ptr<archive, int (*)(archive *)>;

[[noreturn]] void fallar(const QString &mensaje) { throw ErrorDeLista(mensaje.toStdString()); }

QString errorDe(archive *a)
{
    const char *texto = archive_error_string(a);
    return texto ? QString::fromUtf8(texto) : QStringLiteral("formato dañado");
}

bool esDeLaLista(const QString &ruta)
{
    const QString nombre = ruta.section(u'/', -1).toLower();
    return nombre.startsWith(QLatin1String("nomenclador")) && nombre.endsWith(QLatin1String(".txt"));
}

QString nombreDeEntrada(archive_entry *entrada)
{
    if (const char *utf8 = archive_entry_pathname_utf8(entrada))
        return QString::fromUtf8(utf8);
    const char *crudo = archive_entry_pathname(entrada);
    return crudo ? QString::fromLocal8Bit(crudo) : QString();
}

} // namespace

bool esZip(QByteArrayView datos) { return datos.startsWith("PK\x03\x04") || datos.startsWith("PK\x05\x06"); }

MiembroDeZip miembroDeLaLista(QByteArrayView zip, qint64 limite)
{
    Archivo a(archive_read_new(), archive_read_free);
    if (!a)
        fallar(QStringLiteral("no queda memoria para leer el zip"));
    archive_read_support_format_zip(a.get());
    if (archive_read_open_memory(a.get(), zip.data(), size_t(zip.size())) != ARCHIVE_OK)
        fallar(QStringLiteral("no se puede leer el zip: %1").arg(errorDe(a.get())));

    QStringList miembros;
    QStringList deLaLista;
    MiembroDeZip elegido;
    archive_entry *entrada = nullptr;
    for (;;) {
        const int r = archive_read_next_header(a.get(), &entrada);
        if (r == ARCHIVE_EOF)
            break;
        if (r < ARCHIVE_WARN)
            fallar(QStringLiteral("no se puede leer el zip: %1").arg(errorDe(a.get())));
        if (archive_entry_filetype(entrada) == AE_IFDIR)
            continue;
        const QString nombre = nombreDeEntrada(entrada);
        miembros << nombre;
        if (!esDeLaLista(nombre))
            continue;
        deLaLista << nombre;
        if (deLaLista.size() > 1)
            continue;
        elegido.nombre = nombre.section(u'/', -1);
        char bloque[64 * 1024];
        for (;;) {
            const la_ssize_t n = archive_read_data(a.get(), bloque, sizeof bloque);
            if (n < 0)
                fallar(QStringLiteral("no se puede leer %1 del zip: %2").arg(nombre, errorDe(a.get())));
            if (n == 0)
                break;
            if (elegido.datos.size() + n > limite)
                fallar(QStringLiteral("%1, en el zip, supera los %2 MiB").arg(nombre).arg(limite / (1024 * 1024)));
            elegido.datos.append(bloque, qsizetype(n));
        }
    }
    if (deLaLista.size() > 1)
        fallar(QStringLiteral("el zip tiene más de un archivo nomenclador*.txt: %1")
                   .arg(deLaLista.join(QStringLiteral(", "))));
    if (deLaLista.isEmpty())
        fallar(miembros.isEmpty() ? QStringLiteral("el zip está vacío; se esperaba un archivo nomenclador*.txt")
                                  : QStringLiteral("el zip no tiene ningún archivo nomenclador*.txt; tiene: %1")
                                        .arg(miembros.join(QStringLiteral(", "))));
    return elegido;
}
