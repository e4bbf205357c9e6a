// SPDX-License-Identifier: GPL-3.0-or-later
// The window's keys as they reach its fields, and the menus: the window's own actions
// (the official list's entry, undo, open the journal) above each field's editing
// actions.
#include "ui/Frm_Telquin.h"

#include "archivos/Bitacora.h"

#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLineEdit>
#include <QMenu>
#include <QUrl>

#include <utility>

namespace {

bool esTeclaDeMenu(const QKeyEvent &pulsada)
{
    const Qt::KeyboardModifiers modificadores = pulsada.modifiers() & ~Qt::KeypadModifier;
    return (pulsada.key() == Qt::Key_Menu && modificadores == Qt::NoModifier)
        || (pulsada.key() == Qt::Key_F10 && modificadores == Qt::ShiftModifier);
}

// A menu opened from the keyboard opens where the typing is, not where the mouse is.
QPoint lugarDelCursor(const QLineEdit *campo)
{
    return campo->mapToGlobal(campo->inputMethodQuery(Qt::ImCursorRectangle).toRect().bottomLeft());
}

} // namespace

bool Frm_Telquin::eventFilter(QObject *objeto, QEvent *evento)
{
    auto *campo = qobject_cast<QLineEdit *>(objeto);
    if (campo && evento->type() == QEvent::ContextMenu) {
        const auto *pedido = static_cast<QContextMenuEvent *>(evento);
        menuDeTeclaAbierto_ = pedido->reason() == QContextMenuEvent::Keyboard;
        abrirMenuDelCampo(
            campo, pedido->reason() == QContextMenuEvent::Keyboard ? lugarDelCursor(campo) : pedido->globalPos());
        return true;
    }
    if (campo && evento->type() == QEvent::KeyPress && esTeclaDeMenu(*static_cast<QKeyEvent *>(evento))) {
        // Shift+F10 always; the Menu key only where the system sent no context menu
        // event before it.
        const bool yaAbierto
            = static_cast<QKeyEvent *>(evento)->key() == Qt::Key_Menu && std::exchange(menuDeTeclaAbierto_, false);
        if (!yaAbierto)
            abrirMenuDelCampo(campo, lugarDelCursor(campo));
        return true;
    }
    if (evento->type() == QEvent::KeyPress) {
        const auto *pulsada = static_cast<QKeyEvent *>(evento);
        const int tecla = pulsada->key();
        // F2, which the window's keys leave free, only where there is a list to show.
        if (lista_ && tecla == Qt::Key_F2 && (pulsada->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            VerEnListaOficial();
            return true;
        }
        // Ctrl+Z undoes the field's typing while it has any; then the last change.
        if (tecla == Qt::Key_Z && (pulsada->modifiers() & ~Qt::KeypadModifier) == Qt::ControlModifier) {
            if (!campo || !campo->isUndoAvailable()) {
                DeshacerUltimoCambio();
                return true;
            }
        }
        // The window acts first; the key then goes on to the field.
        // Keys a field leaves unused travel on to the window itself, which watches
        // nothing, so each key is seen here once.
        Form_KeyDown(tecla);
        if (objeto == txtNcm)
            txtNcm_KeyDown(tecla);
    }
    return QWidget::eventFilter(objeto, evento);
}

void Frm_Telquin::contextMenuEvent(QContextMenuEvent *evento)
{
    QMenu menu(this);
    abrirMenu(menu, evento->globalPos());
}

void Frm_Telquin::abrirMenu(QMenu &menu, const QPoint &dondeEnPantalla)
{
    QAction *primera = menu.actions().value(0);
    // The key written as Qt's translation writes the field's own ("Control+Z").
    const QString atajo = QKeySequence(Qt::CTRL | Qt::Key_Z).toString(QKeySequence::NativeText);
    auto *deshacer = new QAction(QStringLiteral("Deshacer el último cambio\t") + atajo, &menu);
    deshacer->setEnabled(!deshacibles_.isEmpty());
    auto *abrir = new QAction(QStringLiteral("Abrir el registro de cambios"), &menu);
    abrir->setEnabled(QFileInfo::exists(rutaBitacora()));
    QAction *verEnLista = nullptr;
    if (lista_) {
        verEnLista = new QAction(QStringLiteral("Ver en la lista oficial\t")
                                     + QKeySequence(Qt::Key_F2).toString(QKeySequence::NativeText),
                                 &menu);
        menu.insertAction(primera, verEnLista);
    }
    menu.insertActions(primera, {deshacer, abrir});
    if (primera)
        menu.insertSeparator(primera);
    const QAction *elegida = menu.exec(dondeEnPantalla);
    if (elegida && elegida == verEnLista)
        VerEnListaOficial();
    else if (elegida == deshacer)
        DeshacerUltimoCambio();
    else if (elegida == abrir)
        abrirBitacora();
}

void Frm_Telquin::abrirMenuDelCampo(QLineEdit *campo, const QPoint &dondeEnPantalla)
{
    const std::unique_ptr<QMenu> menu(campo->createStandardContextMenu());
    abrirMenu(*menu, dondeEnPantalla);
}

void Frm_Telquin::abrirBitacora()
{
    if (QDesktopServices::openUrl(QUrl::fromLocalFile(rutaBitacora())))
        return;
    avisar(QStringLiteral("No hay un programa para abrir archivos CSV. El registro de cambios está en %1.")
               .arg(QDir::toNativeSeparators(rutaBitacora())),
           Mensajes::Icono::Informacion);
}
