// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Stands in for the message boxes: records each box and answers Yes/No from a queue.

#include "ui/Mensajes.h"

#include <QList>
#include <QStringList>

#include <functional>

struct Caja {
    QString titulo;
    QString texto;
    Mensajes::Icono icono;
    bool siNo = false;
    bool noPorDefecto = false;
    QString otroBoton; // the button beside OK, when the box has one
};

class MensajesDePrueba final : public Mensajes {
public:
    QList<Caja> cajas;
    // Answers to Yes/No questions and to boxes with a button beside OK (true: that
    // button), in order; No, or OK, when empty.
    QList<bool> respuestas;
    std::function<void(const Caja &)> alAbrir;

    bool preguntarSiNo(const QString &titulo, const QString &texto, Icono icono, bool noPorDefecto) override
    {
        abrir({titulo, texto, icono, true, noPorDefecto, {}});
        return respuestas.isEmpty() ? false : respuestas.takeFirst();
    }

    void mostrar(const QString &titulo, const QString &texto, Icono icono) override
    {
        abrir({titulo, texto, icono, false, false, {}});
    }

    bool mostrarConBoton(const QString &titulo, const QString &texto, Icono icono, const QString &otro) override
    {
        abrir({titulo, texto, icono, false, false, otro});
        return respuestas.isEmpty() ? false : respuestas.takeFirst();
    }

    [[nodiscard]] QStringList textos() const
    {
        QStringList t;
        for (const Caja &c : cajas)
            t << c.texto;
        return t;
    }

private:
    void abrir(const Caja &caja)
    {
        cajas << caja;
        if (alAbrir)
            alAbrir(caja);
    }
};
