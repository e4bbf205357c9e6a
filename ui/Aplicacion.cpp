// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Aplicacion.h"

#include "Version.h"
#include "archivos/Idioma.h"
#include "ui/Frm_Telquin.h"
#include "ui/Senales.h"

#include <QApplication>
#include <QIcon>
#include <QTranslator>

namespace {

// The few texts Qt draws in this program, for a system without Qt's Spanish
// translations.
class TraduccionMinima final : public QTranslator {
public:
    using QTranslator::QTranslator;
    bool isEmpty() const override { return false; }

    QString translate(const char *contexto, const char *texto, const char *, int) const override
    {
        static const QHash<QByteArray, QString> textos{
            {"&Yes", QStringLiteral("&Sí")},
            {"&No", QStringLiteral("&No")},
            {"OK", QStringLiteral("Aceptar")},
            {"&OK", QStringLiteral("&Aceptar")},
            {"&Undo", QStringLiteral("&Deshacer")},
            {"&Redo", QStringLiteral("&Rehacer")},
            {"Cu&t", QStringLiteral("Cor&tar")},
            {"&Copy", QStringLiteral("&Copiar")},
            {"&Paste", QStringLiteral("&Pegar")},
            {"Delete", QStringLiteral("Eliminar")},
            {"Select All", QStringLiteral("Seleccionar todo")},
        };
        const QByteArray ctx(contexto);
        if (ctx != "QPlatformTheme" && ctx != "QLineEdit" && ctx != "QWidgetTextControl")
            return {};
        return textos.value(texto);
    }
};

} // namespace

bool hayPantalla()
{
    for (const char *variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        if (!qEnvironmentVariableIsEmpty(variable))
            return true;
    return false;
}

void cargarTraducciones(QCoreApplication &app, const QString &directorio)
{
    if (!instalarTraduccionDeQt(app, directorio))
        QCoreApplication::installTranslator(new TraduccionMinima(&app));
}

int ejecutarTelquin(QApplication &app, Mensajes &mensajes, FabricaComponente crearComponente)
{
    QApplication::setApplicationName(QStringLiteral("Telquin"));
    QApplication::setApplicationVersion(QStringLiteral(TELQUIN_VERSION));
    cargarTraducciones(app);
    // Boxes, the warning before the window included, and the window itself: the window
    // manager shows it in the task bar and the window switcher.
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/telquin/telquin.svg")));
    Frm_Telquin frm(mensajes, std::move(crearComponente));
    int estado = 0;
    QObject::connect(&frm, &Frm_Telquin::programaTerminado, &app, [&](int e) {
        estado = e;
        QCoreApplication::exit(e);
    });
    // The window closes as Esc closes it, once whatever F9 was doing is done.
    const SenalesDeCierre senales(
        &frm,
        [](int senal, void *ventana) {
            static_cast<Frm_Telquin *>(ventana)->close();
            QCoreApplication::exit(128 + senal);
        },
        &frm);
    if (!frm.Form_Load())
        return SenalesDeCierre::llegada() ? 128 + SenalesDeCierre::llegada() : estado;
    frm.show();
    const int salida = app.exec();
    if (SenalesDeCierre::llegada())
        return 128 + SenalesDeCierre::llegada();
    return estado != 0 ? estado : salida;
}
