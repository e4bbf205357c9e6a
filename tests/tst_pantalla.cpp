// SPDX-License-Identifier: GPL-3.0-or-later
// Whether the window has a display to go to, asked before Qt is, which would abort.

#include "ui/Aplicacion.h"

#include <QTemporaryDir>
#include <QtTest>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// A socket that accepts connections, as a Wayland compositor's does.
class Escucha {
public:
    explicit Escucha(const QString &ruta)
    {
        sockaddr_un direccion{};
        direccion.sun_family = AF_UNIX;
        const QByteArray nativa = QFile::encodeName(ruta);
        std::memcpy(direccion.sun_path, nativa.constData(), size_t(nativa.size()));
        s_ = ::socket(AF_UNIX, SOCK_STREAM, 0);
        ok_ = s_ >= 0 && ::bind(s_, reinterpret_cast<sockaddr *>(&direccion), sizeof direccion) == 0
            && ::listen(s_, 4) == 0;
    }
    ~Escucha() { ::close(s_); }
    [[nodiscard]] bool ok() const { return ok_; }

private:
    int s_ = -1;
    bool ok_ = false;
};

// An X display number nobody serves here.
QString pantallaLibre()
{
    int n = 99;
    while (QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n))
           || QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(n)))
        ++n;
    return QStringLiteral(":%1").arg(n);
}

} // namespace

class TstPantalla : public QObject {
    Q_OBJECT

    QTemporaryDir ejecucion; // XDG_RUNTIME_DIR, where the compositor's socket is

private slots:
    void initTestCase()
    {
        QVERIFY(ejecucion.isValid());
        qputenv("XDG_RUNTIME_DIR", ejecucion.path().toUtf8());
        qunsetenv("WAYLAND_SOCKET");
    }

    void faltaDePantalla_data()
    {
        const QString x = pantallaLibre();
        QTest::addColumn<QString>("plataforma"); // QT_QPA_PLATFORM
        QTest::addColumn<QString>("display");
        QTest::addColumn<QString>("wayland"); // "escucha" names a socket that answers
        QTest::addColumn<QString>("detalle"); // what the message says after its start; "" is no message

        const QString sinDetalle = QStringLiteral("; `telquin --help`");
        QTest::newRow("nada") << ""
                              << ""
                              << "" << sinDetalle;
        QTest::newRow("X que no responde") << "" << x << ""
                                           << " (" + x + " no responde);";
        QTest::newRow("X pedido que no responde") << "xcb" << x << ""
                                                  << " (" + x + " no responde);";
        QTest::newRow("ninguna responde") << "" << x << "nadie"
                                          << " (no responden " + x + " ni nadie);";
        QTest::newRow("Wayland responde") << "" << x << "escucha"
                                          << "";
        QTest::newRow("Wayland, luego X") << "wayland;xcb" << x << "escucha"
                                          << "";
        QTest::newRow("Wayland pedido sin compositor") << "wayland"
                                                       << ""
                                                       << "nadie"
                                                       << " (nadie no responde);";
        QTest::newRow("X pedido, solo Wayland") << "xcb"
                                                << ""
                                                << "escucha" << sinDetalle;
        QTest::newRow("fuera de pantalla") << "offscreen" << x << ""
                                           << "";
        QTest::newRow("minima") << "minimal"
                                << ""
                                << ""
                                << "";
    }

    void faltaDePantalla()
    {
        QFETCH(QString, plataforma);
        QFETCH(QString, display);
        QFETCH(QString, wayland);
        QFETCH(QString, detalle);
        const auto poner = [](const char *variable, const QString &valor) {
            if (valor.isEmpty())
                qunsetenv(variable);
            else
                qputenv(variable, valor.toUtf8());
        };
        poner("QT_QPA_PLATFORM", plataforma);
        poner("DISPLAY", display);
        poner("WAYLAND_DISPLAY", wayland);
        std::optional<Escucha> compositor;
        if (wayland == "escucha") {
            compositor.emplace(ejecucion.filePath(wayland));
            QVERIFY(compositor->ok());
        }
        const QString mensaje = ::faltaDePantalla();
        QFile::remove(ejecucion.filePath("escucha"));
        if (detalle.isEmpty()) {
            QCOMPARE(mensaje, QString());
            return;
        }
        const QString inicio = QStringLiteral("telquin: no se encontró una pantalla para la ventana");
        QVERIFY2(mensaje.startsWith(inicio + detalle), qPrintable(mensaje));
        QVERIFY2(mensaje.endsWith(" lista las órdenes que no la necesitan."), qPrintable(mensaje));
    }
};

QTEST_APPLESS_MAIN(TstPantalla)
#include "tst_pantalla.moc"
