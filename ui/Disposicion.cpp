// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Disposicion.h"

#include "ui/LimiteDeCaracteres.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>

namespace {

constexpr int kTwipsPorPixel = 15;

// Tahoma and MS Sans Serif are seldom installed outside Windows; a sans serif of
// similar width stands in. Asking Qt for a missing family makes it search
// fontconfig's aliases, slower than all the rest of the start-up, so the choice is
// made from the list of installed families, read once.
QString familiaInstalada(const QString &pedida)
{
    static const QStringList instaladas = QFontDatabase::families();
    for (const QString &familia : {pedida, QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                                   QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("DejaVu Sans")})
        if (instaladas.contains(familia, Qt::CaseInsensitive))
            return familia;
    return pedida;
}

} // namespace

QRect enPixeles(const Lugar &l)
{
    return {l.izquierda / kTwipsPorPixel, l.arriba / kTwipsPorPixel, l.ancho / kTwipsPorPixel, l.alto / kTwipsPorPixel};
}

QFont fuente(const QString &familia, qreal puntos)
{
    QFont f(familiaInstalada(familia));
    f.setPointSizeF(puntos);
    f.setBold(true);
    return f;
}

QLabel *etiqueta(QWidget *padre, const char *nombre, const QString &texto, const Lugar &lugar)
{
    auto *l = new QLabel(texto, padre);
    l->setObjectName(QLatin1String(nombre));
    l->setGeometry(enPixeles(lugar));
    l->setFont(fuente(QStringLiteral("Tahoma"), 8.25));
    ajustarAlAncho(l);
    return l;
}

void ajustarAlAncho(QLabel *etiqueta)
{
    constexpr qreal kPaso = 0.25;
    constexpr qreal kMenor = 4;
    const int ancho = etiqueta->contentsRect().width() - 2 * qMax(etiqueta->margin(), 0);
    QFont f = etiqueta->font();
    while (f.pointSizeF() > kMenor && QFontMetrics(f, etiqueta).horizontalAdvance(etiqueta->text()) > ancho)
        f.setPointSizeF(f.pointSizeF() - kPaso);
    etiqueta->setFont(f);
}

QLabel *nota(QWidget *padre, const char *nombre, const Lugar &lugar)
{
    auto *l = new QLabel(padre);
    l->setObjectName(QLatin1String(nombre));
    l->setGeometry(enPixeles(lugar));
    l->setFont(fuente(QStringLiteral("Tahoma"), 7));
    l->setAlignment(Qt::AlignCenter);
    l->setFocusPolicy(Qt::NoFocus);
    l->setTextFormat(Qt::PlainText);
    return l;
}

QLineEdit *campo(QWidget *padre, const char *nombre, int limite, const Lugar &lugar, const QLabel *rotulo)
{
    auto *c = new QLineEdit(padre);
    c->setObjectName(QLatin1String(nombre));
    c->setGeometry(enPixeles(lugar));
    c->setFont(fuente(QStringLiteral("Tahoma"), 9));
    c->setAlignment(Qt::AlignCenter);
    c->setValidator(new LimiteDeCaracteres(c, limite));
    c->setAccessibleName(rotulo->text());
    return c;
}

void colorear(QWidget *w, QPalette::ColorRole rol, QColor color)
{
    QPalette p = w->palette();
    p.setColor(rol, color);
    w->setPalette(p);
}
