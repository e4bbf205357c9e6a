// SPDX-License-Identifier: GPL-3.0-or-later
// The window with an official list: the line under the position field, its tooltip,
// the box of F2 and of the menus, and its button; the recording component shows what
// reached the table.

#include "ComponenteGrabador.h"
#include "ListaEnMemoria.h"
#include "MensajesDePrueba.h"
#include "ui/Aplicacion.h"
#include "ui/Frm_Telquin.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {

const QString kPosicion = QStringLiteral("8901.10.00.000L");
const QStringList kEncabezados
    = {QStringLiteral("BARCOS, Y DEMÁS ARTEFACTOS FLOTANTES."), QStringLiteral("-Transatlánticos y barcos similares")};
const QString kDescripcion = QStringLiteral("Para pasajeros");
const QString kUsar = QStringLiteral("Usar la unidad oficial");

// The list with kPosicion and its unit; `oficial` null leaves the position out.
std::unique_ptr<ListaEnMemoria> lista(const QString &oficial, QDate fecha = QDate(2026, 6, 14))
{
    std::vector<Partida> partidas{
        {QStringLiteral("0101.21.00.100W"), QStringLiteral("09"), QStringLiteral("Caballos"), {}}};
    if (!oficial.isNull())
        partidas.push_back({kPosicion, oficial, kDescripcion, kEncabezados});
    return std::make_unique<ListaEnMemoria>(std::move(partidas), fecha);
}

QStringList sentencias()
{
    QStringList s;
    for (const QString &l : ComponenteGrabador::llamadas())
        if (l.startsWith(QLatin1String("crearrs")) || l.startsWith(QLatin1String("Ejecutar")))
            s << l.section(QStringLiteral(": "), 1);
    return s;
}

} // namespace

class TstVentanaLista : public QObject {
    Q_OBJECT

    QTemporaryDir estado;
    MensajesDePrueba mensajes;
    std::unique_ptr<Frm_Telquin> frm;

    // The window loaded and shown with the list (none: without one), the table's row
    // holding `guion`'s unit; the boxes and calls so far forgotten.
    bool abrir(std::unique_ptr<ListaEnMemoria> l, GuionGrabador guion = {})
    {
        frm = std::make_unique<Frm_Telquin>(mensajes, [guion] { return std::make_unique<ComponenteGrabador>(guion); });
        mensajes.respuestas = {true};
        if (!frm->Form_Load())
            return false;
        if (l)
            frm->usarLista(std::move(l));
        frm->show();
        if (!QTest::qWaitForWindowActive(frm.get()))
            return false;
        mensajes.cajas.clear();
        ComponenteGrabador::llamadas().clear();
        return true;
    }

    QLineEdit *campo(const char *nombre) { return frm->findChild<QLineEdit *>(QLatin1String(nombre)); }
    QString linea() { return frm->findChild<QLabel *>(QStringLiteral("Lbl_Pista"))->text(); }
    void consultar(const QString &posicion)
    {
        QTest::keyClicks(campo("txtNcm"), posicion);
        QTest::keyClick(campo("txtNcm"), Qt::Key_Return);
    }

    // The entries of the field's menu, the one named by `elegir` chosen (none: closed).
    QStringList menuDe(const char *nombre, const QString &elegir = {})
    {
        QStringList entradas;
        QTimer vigia;
        connect(&vigia, &QTimer::timeout, [&] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            if (!menu)
                return;
            vigia.stop();
            QAction *elegida = nullptr;
            for (QAction *a : menu->actions()) {
                entradas << a->text().remove(u'&').section(u'\t', 0, 0);
                if (!elegir.isEmpty() && entradas.back() == elegir)
                    elegida = a;
            }
            if (!elegida) {
                menu->close();
                return;
            }
            menu->setActiveAction(elegida);
            QTest::keyClick(menu, Qt::Key_Return);
        });
        vigia.start(10);
        QTest::keyClick(campo(nombre), Qt::Key_F10, Qt::ShiftModifier);
        QTest::qWait(50);
        return entradas;
    }

private slots:
    void initTestCase()
    {
        qputenv("XDG_STATE_HOME", estado.path().toUtf8());
        cargarTraducciones(*qApp);
    }

    void init()
    {
        mensajes = {};
        ComponenteGrabador::llamadas().clear();
    }

    void cleanup() { frm.reset(); }

    void lineaTrasEnter_data()
    {
        QTest::addColumn<QString>("oficial"); // null: the list lacks the position
        QTest::addColumn<QDate>("fecha");
        QTest::addColumn<QString>("tecleada");
        QTest::addColumn<QString>("esperada");
        const QDate fecha(2026, 6, 14);
        QTest::newRow("unidad distinta") << "01" << fecha << kPosicion << "Unidad oficial: 01 KILOGRAMO";
        QTest::newRow("la misma unidad") << "07" << fecha << kPosicion << "";
        QTest::newRow("la lista no da unidad") << "" << fecha << kPosicion << "";
        QTest::newRow("no figura") << QString() << fecha << kPosicion << "No figura en la lista oficial del 14/06/2026";
        QTest::newRow("no figura, lista sin fecha")
            << QString() << QDate() << kPosicion << "No figura en la lista oficial en uso";
        QTest::newRow("la pista de la letra primero") << QString() << fecha << "8901.10.00.000A"
                                                      << "La letra de control debería ser L";
    }

    void lineaTrasEnter()
    {
        QFETCH(QString, oficial);
        QFETCH(QDate, fecha);
        QFETCH(QString, tecleada);
        QFETCH(QString, esperada);
        QVERIFY(abrir(lista(oficial, fecha)));
        QTest::keyClicks(campo("txtNcm"), tecleada);
        const QString antesDeEnter = linea();
        QTest::keyClick(campo("txtNcm"), Qt::Key_Return);
        QCOMPARE(campo("txtUnidEst")->text(), QString("07"));
        QCOMPARE(linea(), esperada);
        QVERIFY(campo("txtNcm")->accessibleDescription().startsWith(esperada));
        // Only Enter's lookup says it: typing says the hint alone, and typing again
        // takes it away.
        QCOMPARE(antesDeEnter, tecleada == kPosicion ? QString() : esperada);
        QTest::keyClick(campo("txtNcm"), Qt::Key_Backspace);
        QCOMPARE(linea(), QString());
        QVERIFY(mensajes.cajas.isEmpty());
    }

    void descripcionEnElCampo()
    {
        QVERIFY(abrir(lista("01")));
        const QString completa = kEncabezados.join(QStringLiteral(" › ")) + QStringLiteral(" › ") + kDescripcion;
        QTest::keyClicks(campo("txtNcm"), kPosicion);
        QCOMPARE(campo("txtNcm")->toolTip(), completa);
        QCOMPARE(campo("txtNcm")->accessibleDescription(), completa);
        QTest::keyClick(campo("txtNcm"), Qt::Key_Return);
        QCOMPARE(campo("txtNcm")->accessibleDescription(), "Unidad oficial: 01 KILOGRAMO. " + completa);
        QTest::keyClick(campo("txtNcm"), Qt::Key_Backspace);
        QCOMPARE(campo("txtNcm")->toolTip(), QString());
        QTest::keyClicks(campo("txtNcm"), "X"); // a position the list lacks
        QCOMPARE(campo("txtNcm")->toolTip(), QString());
    }

    // F2 shows the entry; the button puts the official unit in the new-unit field, and
    // only F9 stores it.
    void cajaConLaUnidadOficial_data()
    {
        QTest::addColumn<bool>("usar");
        QTest::newRow("Usar la unidad oficial") << true;
        QTest::newRow("Aceptar") << false;
    }

    void cajaConLaUnidadOficial()
    {
        QFETCH(bool, usar);
        QVERIFY(abrir(lista("01")));
        QTest::keyClicks(campo("txtNcm"), kPosicion);
        mensajes.respuestas = {usar};
        QTest::keyClick(campo("txtNcm"), Qt::Key_F2);
        QCOMPARE(mensajes.cajas.size(), 1);
        const Caja caja = mensajes.cajas.front();
        QCOMPARE(caja.otroBoton, kUsar);
        QCOMPARE(caja.icono, Mensajes::Icono::Informacion);
        QCOMPARE(caja.texto.split("\r\n"),
                 (QStringList{kPosicion, "", kEncabezados[0], "  " + kEncabezados[1], "    " + kDescripcion, "",
                              "Unidad oficial: 01 KILOGRAMO", "En la tabla: 07 UNIDAD, distinta de la oficial.", "",
                              "Lista oficial del 14/06/2026"}));
        // The row read as Enter reads it; nothing written.
        QCOMPARE(sentencias(),
                 QStringList{"Select [012] from Ncm Where  [001] = '8901.10.00' AND  [002] = '000' AND  "
                             "[003] = 'L'"});
        QCOMPARE(campo("txtUnidEstNEW")->text(), usar ? QString("01") : QString());
        if (!usar)
            return;
        QCOMPARE(QApplication::focusWidget(), campo("txtUnidEstNEW"));
        QTest::keyClick(campo("txtUnidEstNEW"), Qt::Key_F9);
        QCOMPARE(
            sentencias().last(),
            QString("Update NCM SET [012] = '01' WHERE  [001] = '8901.10.00' AND  [002] = '000' AND  [003] = 'L'"));
    }

    void cajaSinBoton_data()
    {
        QTest::addColumn<QString>("oficial");
        QTest::addColumn<bool>("conFila");
        QTest::addColumn<QString>("tecleada");
        QTest::addColumn<QString>("ultimaLinea"); // of the box, before the list's date
        QTest::newRow("la misma unidad") << "07" << true << kPosicion << "En la tabla: 07 UNIDAD, la misma.";
        QTest::newRow("sin fila en la tabla") << "01" << false << kPosicion << "La tabla no tiene esta posición.";
        QTest::newRow("la lista no da unidad") << "" << true << kPosicion << "En la tabla: 07 UNIDAD";
        QTest::newRow("no figura") << QString() << true << kPosicion
                                   << "La posición 8901.10.00.000L no figura en la lista oficial del 14/06/2026.";
        QTest::newRow("posición incompleta")
            << "01" << true << "8901.10"
            << "Escriba una posición completa (Ej. 8901.10.00.000L) para verla en la lista oficial.";
    }

    void cajaSinBoton()
    {
        QFETCH(QString, oficial);
        QFETCH(bool, conFila);
        QFETCH(QString, tecleada);
        QFETCH(QString, ultimaLinea);
        GuionGrabador guion;
        if (!conFila)
            guion.respuestaCrearrs = false;
        QVERIFY(abrir(lista(oficial), guion));
        QTest::keyClicks(campo("txtNcm"), tecleada);
        QTest::keyClick(campo("txtNcm"), Qt::Key_F2);
        QCOMPARE(mensajes.cajas.size(), 1);
        QCOMPARE(mensajes.cajas.front().otroBoton, QString());
        QStringList lineas = mensajes.cajas.front().texto.split("\r\n");
        if (lineas.last().startsWith("Lista oficial del "))
            lineas.resize(lineas.size() - 2);
        QCOMPARE(lineas.last(), ultimaLinea);
        QCOMPARE(campo("txtUnidEstNEW")->text(), QString());
    }

    void menuDeCadaCampo()
    {
        QVERIFY(abrir(lista("01")));
        QTest::keyClicks(campo("txtNcm"), kPosicion);
        for (const char *nombre : {"txtNcm", "txtUnidEst", "txtUnidEstNEW"}) {
            mensajes.cajas.clear();
            const QStringList entradas = menuDe(nombre, "Ver en la lista oficial");
            QCOMPARE(
                entradas.mid(0, 3),
                (QStringList{"Ver en la lista oficial", "Deshacer el último cambio", "Abrir el registro de cambios"}));
            QCOMPARE(mensajes.cajas.size(), 1);
            QCOMPARE(mensajes.cajas.front().otroBoton, kUsar);
        }
    }

    // Without a list, neither the menu nor F2 knows of one.
    void sinLista()
    {
        QVERIFY(abrir(nullptr));
        QTest::keyClicks(campo("txtNcm"), kPosicion);
        QTest::keyClick(campo("txtNcm"), Qt::Key_F2);
        QCOMPARE(menuDe("txtNcm").value(0), QString("Deshacer el último cambio"));
        QTest::keyClick(campo("txtNcm"), Qt::Key_Return);
        QCOMPARE(linea(), QString());
        QCOMPARE(campo("txtNcm")->toolTip(), QString());
        QVERIFY(mensajes.cajas.isEmpty());
    }

    // A list that fails is told once; the window then goes on without it.
    void listaQueFalla()
    {
        auto l = lista("01");
        l->fallar = true;
        QVERIFY(abrir(std::move(l)));
        consultar(kPosicion);
        QCOMPARE(mensajes.cajas.size(), 1);
        QCOMPARE(mensajes.cajas.front().icono, Mensajes::Icono::Advertencia);
        QVERIFY(mensajes.cajas.front().texto.startsWith(
            "No se puede leer la lista oficial: El índice de la lista oficial está dañado (prueba)."));
        QCOMPARE(campo("txtUnidEst")->text(), QString("07"));
        QCOMPARE(linea(), QString());
        QTest::keyClick(campo("txtUnidEstNEW"), Qt::Key_F2);
        QCOMPARE(menuDe("txtNcm").value(0), QString("Deshacer el último cambio"));
        QCOMPARE(mensajes.cajas.size(), 1);
    }

    // The program opens the list after the start-up warning; one it cannot read is
    // told, and the window opens all the same.
    void listaIlegibleAlEmpezar()
    {
        QTimer::singleShot(0, [] {
            for (QWidget *w : QApplication::topLevelWidgets())
                if (qobject_cast<Frm_Telquin *>(w))
                    w->close();
        });
        mensajes.respuestas = {true};
        const int salida = ejecutarTelquin(
            *qApp, mensajes, [] { return std::make_unique<ComponenteGrabador>(); },
            []() -> std::unique_ptr<ListaOficial> { throw ErrorDeLista("No se puede abrir el índice (prueba)."); });
        QCOMPARE(salida, 0);
        QCOMPARE(mensajes.cajas.size(), 2);
        QCOMPARE(mensajes.cajas[1].texto,
                 QString("No se puede usar la lista oficial: No se puede abrir el índice (prueba).\r\n\r\n"
                         "La ventana sigue sin ella."));
    }
};

QTEST_MAIN(TstVentanaLista)
#include "tst_ventana_lista.moc"
