// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/Avisos.h"

#include <QSet>

#include <cstdio>

namespace {

ReceptorDeAvisos &receptor()
{
    static ReceptorDeAvisos r = [](const QString &aviso) {
        const QByteArray linea = aviso.toUtf8() + '\n';
        std::fputs(linea.constData(), stderr);
        std::fflush(stderr);
    };
    return r;
}

} // namespace

void recibirAvisos(ReceptorDeAvisos nuevo) { receptor() = std::move(nuevo); }

void avisarDelComponente(const QString &aviso)
{
    static QSet<QString> dados;
    if (aviso.isEmpty() || dados.contains(aviso))
        return;
    dados.insert(aviso);
    receptor()(aviso);
}
