// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Every message box of the program goes through this interface: QMessageBox in the
// program, a scripted stand-in in tests.
class Mensajes {
public:
    enum class Icono { Ninguno, Informacion, Critico, Pregunta, Advertencia };

    virtual ~Mensajes() = default;
    // Yes/No question; true when the answer is Yes.
    virtual bool preguntarSiNo(const QString &titulo, const QString &texto, Icono icono, bool noPorDefecto) = 0;
    // A box with an OK button; returns when it has been closed.
    virtual void mostrar(const QString &titulo, const QString &texto, Icono icono) = 0;
    // A box with OK and one button more, `otro`; true when that one closed it. OK is
    // the default: Enter and Esc change nothing.
    virtual bool mostrarConBoton(const QString &titulo, const QString &texto, Icono icono, const QString &otro) = 0;
};

// Modal QMessageBox, centred over the active window when there is one.
class MensajesQt final : public Mensajes {
public:
    bool preguntarSiNo(const QString &titulo, const QString &texto, Icono icono, bool noPorDefecto) override;
    void mostrar(const QString &titulo, const QString &texto, Icono icono) override;
    bool mostrarConBoton(const QString &titulo, const QString &texto, Icono icono, const QString &otro) override;
};
