// SPDX-License-Identifier: GPL-3.0-or-later
#include "dam/Secretos.h"

#include <QUrl>

#include <algorithm>

const QString Secretos::kOculta = QStringLiteral("***");

void Secretos::ocultar(const QString &cruda, const QString &clave)
{
    for (const QString &forma : {clave, cruda, QString::fromLatin1(QUrl::toPercentEncoding(clave))})
        if (!forma.isEmpty() && !claves_.contains(forma))
            claves_ << forma;
    // The longest first, so that a spelling that holds another is replaced whole.
    std::sort(claves_.begin(), claves_.end(), [](const QString &a, const QString &b) { return a.size() > b.size(); });
}

QString Secretos::sinClaves(QString texto) const
{
    for (const QString &clave : claves_) {
        if (clave.size() >= 4)
            texto.replace(clave, kOculta);
        else if (texto.contains(clave))
            return {};
    }
    return texto;
}
