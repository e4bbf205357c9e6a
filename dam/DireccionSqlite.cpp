// SPDX-License-Identifier: GPL-3.0-or-later
// sqlite:PATH, "~/" standing for the user's folder.

#include "dam/LectoresDeDireccion.h"

#include <QDir>
#include <QRegularExpression>

namespace {

const QString kPrefijoSqlite = QStringLiteral("sqlite:");

} // namespace

void leerSqlite(Direccion &d, const QString &url)
{
    QString ruta = url.mid(kPrefijoSqlite.size());
    static const QRegularExpression espera(QStringLiteral("\\?espera=([^?]*)$"));
    if (const auto m = espera.match(ruta); m.hasMatch()) {
        ponerEspera(d, m.captured(1));
        ruta.truncate(m.capturedStart());
    }
    if (ruta == QStringLiteral("~") || ruta.startsWith(QStringLiteral("~/")))
        ruta = QDir::homePath() + ruta.mid(1);
    d.ruta = ruta;
    d.visible = url;
    if (ruta.isEmpty())
        d.problema = QStringLiteral("no indica ningún archivo");
}
