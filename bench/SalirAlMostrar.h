// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>
#include <QObject>

// Ends the event loop as soon as a widget of type W is shown. Installed on the
// application, so it sees the Show event whoever shows the widget; the quit is
// queued so that the show itself runs to its end first.
template <typename W>
class SalirAlMostrar final : public QObject {
public:
    bool eventFilter(QObject *objeto, QEvent *evento) override
    {
        if (evento->type() == QEvent::Show && !visto_ && qobject_cast<W *>(objeto)) {
            visto_ = true;
            QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
        }
        return false;
    }
    [[nodiscard]] bool visto() const { return visto_; }

private:
    bool visto_ = false;
};
