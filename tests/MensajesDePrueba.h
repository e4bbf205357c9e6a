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
};

class MensajesDePrueba final : public Mensajes {
public:
    QList<Caja> cajas;
    QList<bool> respuestas; // answers to Yes/No questions, in order; No when empty
    std::function<void(const Caja &)> alAbrir;

    bool preguntarSiNo(const QString &titulo, const QString &texto, Icono icono, bool noPorDefecto) override
    {
        abrir({titulo, texto, icono, true, noPorDefecto});
        return respuestas.isEmpty() ? false : respuestas.takeFirst();
    }

    void mostrar(const QString &titulo, const QString &texto, Icono icono) override
    {
        abrir({titulo, texto, icono, false, false});
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
