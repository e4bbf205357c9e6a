// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Mensajes.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

namespace {

QMessageBox::Icon iconoQt(Mensajes::Icono icono)
{
    switch (icono) {
    case Mensajes::Icono::Informacion:
        return QMessageBox::Information;
    case Mensajes::Icono::Critico:
        return QMessageBox::Critical;
    case Mensajes::Icono::Pregunta:
        return QMessageBox::Question;
    case Mensajes::Icono::Advertencia:
        return QMessageBox::Warning;
    case Mensajes::Icono::Ninguno:
        break;
    }
    return QMessageBox::NoIcon;
}

// Messages are written with CR LF between lines; a label breaks lines on LF alone.
QString conSaltos(QString texto) { return texto.replace(QStringLiteral("\r\n"), QStringLiteral("\n")); }

// A message breaks its lines where its text does. QMessageBox wraps its text at 500
// pixels (less on a small screen) whatever its lines: its label is given the width of
// the longest line instead, which the box then takes, up to the screen's width.
class Caja final : public QMessageBox {
public:
    Caja(Icon icono, const QString &titulo, const QString &texto, StandardButtons botones)
        : QMessageBox(icono, titulo, conSaltos(texto), botones, QApplication::activeWindow())
    {
        setTextFormat(Qt::PlainText);
    }

protected:
    // Polished by now: the label has the font it will be drawn in.
    void showEvent(QShowEvent *evento) override
    {
        if (auto *etiqueta = findChild<QLabel *>(QStringLiteral("qt_msgbox_label"))) {
            const QFontMetrics medidas = etiqueta->fontMetrics();
            int ancho = 0;
            for (const QString &linea : text().split(u'\n'))
                ancho = qMax(ancho, medidas.horizontalAdvance(linea));
            const QRect disponible = screen()->availableGeometry();
            // A pixel to spare: the label lays its text out in fractions of one.
            etiqueta->setMinimumWidth(qMin(ancho + 1, disponible.width() * 9 / 10));
        }
        QMessageBox::showEvent(evento);
    }
};

} // namespace

bool MensajesQt::preguntarSiNo(const QString &titulo, const QString &texto, Icono icono, bool noPorDefecto)
{
    Caja caja(iconoQt(icono), titulo, texto, QMessageBox::Yes | QMessageBox::No);
    caja.setDefaultButton(noPorDefecto ? QMessageBox::No : QMessageBox::Yes);
    caja.setEscapeButton(QMessageBox::No);
    return caja.exec() == QMessageBox::Yes;
}

void MensajesQt::mostrar(const QString &titulo, const QString &texto, Icono icono)
{
    Caja caja(iconoQt(icono), titulo, texto, QMessageBox::Ok);
    // A box may give commands to copy into a terminal (the sample database's).
    caja.setTextInteractionFlags(Qt::TextSelectableByMouse);
    caja.exec();
}

bool MensajesQt::mostrarConBoton(const QString &titulo, const QString &texto, Icono icono, const QString &otro)
{
    Caja caja(iconoQt(icono), titulo, texto, QMessageBox::Ok);
    caja.setTextInteractionFlags(Qt::TextSelectableByMouse);
    const QPushButton *boton = caja.addButton(otro, QMessageBox::ActionRole);
    caja.setDefaultButton(QMessageBox::Ok);
    caja.setEscapeButton(QMessageBox::Ok);
    caja.exec();
    return caja.clickedButton() == boton;
}
