// SPDX-License-Identifier: GPL-3.0-or-later
#include "archivos/Carpetas.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <pwd.h>
#include <unistd.h>

#include <vector>

namespace {

QString carpetaDelUsuario()
{
    const long sugerido = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size_t(sugerido > 0 ? sugerido : 4096));
    for (;;) {
        passwd pw{};
        passwd *encontrado = nullptr;
        const int error = ::getpwuid_r(::geteuid(), &pw, buffer.data(), buffer.size(), &encontrado);
        if (error == ERANGE && buffer.size() < (1u << 20)) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (error == 0 && encontrado && pw.pw_dir && pw.pw_dir[0])
            return QFile::decodeName(pw.pw_dir);
        return {};
    }
}

} // namespace

QString carpetaPersonal()
{
    // Qt's QDir::homePath() gives "/" here, which would put the user's files in the
    // root folder, or fail to, with a path such as "//.local/state".
    const QString home = qEnvironmentVariable("HOME");
    if (!home.isEmpty())
        return home;
    const QString delUsuario = carpetaDelUsuario();
    return delUsuario.isEmpty() ? QDir::rootPath() : delUsuario;
}

QString carpetaXdg(const char *variable, const QString &bajoLaCarpetaPersonal)
{
    const QString carpeta = qEnvironmentVariable(variable);
    if (!carpeta.isEmpty() && QDir::isAbsolutePath(carpeta))
        return carpeta;
    QString personal = carpetaPersonal();
    if (!personal.endsWith(u'/'))
        personal += u'/';
    return personal + bajoLaCarpetaPersonal;
}

QStringList carpetasXdg(const char *variable, const QString &porDefecto)
{
    const auto absolutas = [](const QString &lista) {
        QStringList carpetas;
        for (const QString &c : lista.split(u':', Qt::SkipEmptyParts))
            if (QDir::isAbsolutePath(c))
                carpetas << c;
        return carpetas;
    };
    const QStringList dadas = absolutas(qEnvironmentVariable(variable));
    return dadas.isEmpty() ? absolutas(porDefecto) : dadas;
}
