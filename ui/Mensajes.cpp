// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Mensajes.h"

#include <QApplication>
#include <QMessageBox>

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

} // namespace

bool MensajesQt::preguntarSiNo(const QString &titulo, const QString &texto, Icono icono, bool noPorDefecto)
{
    QMessageBox caja(iconoQt(icono), titulo, conSaltos(texto), QMessageBox::Yes | QMessageBox::No,
                     QApplication::activeWindow());
    caja.setTextFormat(Qt::PlainText);
    caja.setDefaultButton(noPorDefecto ? QMessageBox::No : QMessageBox::Yes);
    caja.setEscapeButton(QMessageBox::No);
    return caja.exec() == QMessageBox::Yes;
}

void MensajesQt::mostrar(const QString &titulo, const QString &texto, Icono icono)
{
    QMessageBox caja(iconoQt(icono), titulo, conSaltos(texto), QMessageBox::Ok, QApplication::activeWindow());
    caja.setTextFormat(Qt::PlainText);
    // A box may give commands to copy into a terminal (the sample database's).
    caja.setTextInteractionFlags(Qt::TextSelectableByMouse);
    caja.exec();
}
