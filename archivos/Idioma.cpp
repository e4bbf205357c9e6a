// SPDX-License-Identifier: GPL-3.0-or-later
#include "archivos/Idioma.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

bool instalarTraduccionDeQt(QCoreApplication &app, const QString &directorio)
{
    auto *qt = new QTranslator(&app);
    const QString dir = directorio.isEmpty() ? QLibraryInfo::path(QLibraryInfo::TranslationsPath) : directorio;
    if (!qt->load(QLocale(QLocale::Spanish), QStringLiteral("qtbase"), QStringLiteral("_"), dir)) {
        delete qt;
        return false;
    }
    QCoreApplication::installTranslator(qt);
    return true;
}
