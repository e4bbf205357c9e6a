// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Aplicacion.h"

#include "Version.h"
#include "archivos/Idioma.h"
#include "lista/ListaOficial.h"
#include "ui/Frm_Telquin.h"
#include "ui/Senales.h"

#include <QApplication>
#include <QFile>
#include <QIcon>
#include <QTranslator>

#include <dlfcn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

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

// Connects as Qt's X platform does, through libxcb, loaded here only: the program
// needs it for this one question, and it is there wherever Qt's X platform is.
bool respondeX(const QString &pantalla)
{
    using Conectar = void *(*)(const char *, int *);
    using TieneError = int (*)(void *);
    using Desconectar = void (*)(void *);
    static void *xcb = ::dlopen("libxcb.so.1", RTLD_LAZY | RTLD_LOCAL);
    if (!xcb)
        return false;
    const auto conectar = reinterpret_cast<Conectar>(::dlsym(xcb, "xcb_connect"));
    const auto tieneError = reinterpret_cast<TieneError>(::dlsym(xcb, "xcb_connection_has_error"));
    const auto desconectar = reinterpret_cast<Desconectar>(::dlsym(xcb, "xcb_disconnect"));
    if (!conectar || !tieneError || !desconectar)
        return false;
    void *conexion = conectar(pantalla.toLocal8Bit().constData(), nullptr);
    // xcb_connect never returns null: a failed connection is an object in error.
    const bool responde = tieneError(conexion) == 0;
    desconectar(conexion);
    return responde;
}

// The compositor's socket, where libwayland-client looks for it.
bool respondeWayland(const QString &pantalla)
{
    const QString ruta
        = pantalla.startsWith(u'/') ? pantalla : qEnvironmentVariable("XDG_RUNTIME_DIR") + u'/' + pantalla;
    const QByteArray nativa = QFile::encodeName(ruta);
    sockaddr_un direccion{};
    direccion.sun_family = AF_UNIX;
    if (!ruta.startsWith(u'/') || size_t(nativa.size()) >= sizeof direccion.sun_path)
        return false;
    std::memcpy(direccion.sun_path, nativa.constData(), size_t(nativa.size()));
    const int s = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0)
        return false;
    const bool responde = ::connect(s, reinterpret_cast<const sockaddr *>(&direccion), sizeof direccion) == 0;
    ::close(s);
    return responde;
}

} // namespace

QString faltaDePantalla()
{
    const QString x = qEnvironmentVariable("DISPLAY");
    const QString wayland = qEnvironmentVariable("WAYLAND_DISPLAY");
    const bool socketDado = !qEnvironmentVariableIsEmpty("WAYLAND_SOCKET");
    // With no platform named, Qt takes X or, in a Wayland session, Wayland.
    QStringList plataformas = qEnvironmentVariable("QT_QPA_PLATFORM").split(u';', Qt::SkipEmptyParts);
    if (plataformas.isEmpty())
        plataformas = {QStringLiteral("xcb"), QStringLiteral("wayland")};
    QStringList mudas;
    for (const QString &plataforma : std::as_const(plataformas)) {
        const QString nombre = plataforma.section(u':', 0, 0);
        if (nombre == u"xcb") {
            if (!x.isEmpty() && respondeX(x))
                return {};
            if (!x.isEmpty())
                mudas << x;
        } else if (nombre.startsWith(u"wayland")) {
            if (socketDado || (!wayland.isEmpty() && respondeWayland(wayland)))
                return {};
            if (!wayland.isEmpty())
                mudas << wayland;
        } else {
            // offscreen, minimal, eglfs, vnc...: Qt's to judge.
            return {};
        }
    }
    QString texto = QStringLiteral("telquin: no se encontró una pantalla para la ventana");
    mudas.removeDuplicates();
    if (mudas.size() == 1)
        texto += QStringLiteral(" (%1 no responde)").arg(mudas.first());
    else if (!mudas.isEmpty())
        texto += QStringLiteral(" (no responden %1)").arg(mudas.join(QStringLiteral(" ni ")));
    return texto + QStringLiteral("; `telquin --help` lista las órdenes que no la necesitan.");
}

void cargarTraducciones(QCoreApplication &app, const QString &directorio)
{
    if (!instalarTraduccionDeQt(app, directorio))
        QCoreApplication::installTranslator(new TraduccionMinima(&app));
}

int ejecutarTelquin(QApplication &app, Mensajes &mensajes, FabricaComponente crearComponente,
                    const AbrirLista &abrirLista)
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
    if (abrirLista) {
        try {
            frm.usarLista(abrirLista());
        } catch (const ErrorDeLista &error) {
            mensajes.mostrar(QStringLiteral("Telquin"),
                             QStringLiteral("No se puede usar la lista oficial: ") + error.mensaje()
                                 + QStringLiteral("\r\n\r\nLa ventana sigue sin ella."),
                             Mensajes::Icono::Advertencia);
        }
    }
    frm.show();
    const int salida = app.exec();
    if (SenalesDeCierre::llegada())
        return 128 + SenalesDeCierre::llegada();
    return estado != 0 ? estado : salida;
}
