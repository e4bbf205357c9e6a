// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "data/Clases.h"
#include "data/Sentencias.h"
#include "lista/ListaOficial.h"
#include "operaciones/Cambio.h"
#include "ui/Mensajes.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class Componente;
class ErrorComponente;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;

class Frm_Telquin final : public QWidget {
    Q_OBJECT

public:
    // crearComponente makes the data-access component when the window loads; the
    // program passes the registry's CrearObjeto(kClaseDAM).
    Frm_Telquin(Mensajes &mensajes, FabricaComponente crearComponente, QWidget *parent = nullptr);
    ~Frm_Telquin() override;

    // The warning, then the component and its parameters, then the version in the
    // caption. False when the program must end instead of showing the window:
    // programaTerminado has then been emitted with the exit status.
    bool Form_Load();
    // Releases the component; runs once, when the window closes.
    void Form_Unload();

    bool ValidarNCM() const;
    bool ValidarUnidEst();
    QString GetUnidEst(const QString &sNcm);
    bool EjecutarUpdate(const QString &sNcm, const QString &sUnidEst);

    void txtNcm_Change();
    void txtNcm_KeyDown(int KeyCode);
    void Form_KeyDown(int KeyCode);

    // Ctrl+Z: undoes, after asking, the last change this window stored and has not
    // undone yet, provided the row still holds what was stored.
    void DeshacerUltimoCambio();

    // The official list in use: with one, the window tells where the table departs
    // from it (see ListaEnVentana.cpp). Without one it is the window as designed.
    void usarLista(std::unique_ptr<ListaOficial> lista);
    // F2 and the menus' first entry: the position's entry in the official list, in a
    // box that can put its unit into the new-unit field.
    void VerEnListaOficial();

    [[nodiscard]] bool tieneComponente() const { return oDAM != nullptr; }

signals:
    // The program must end with this status (0 after No at the warning, non-zero
    // after an error of the component).
    void programaTerminado(int estado);

protected:
    bool eventFilter(QObject *objeto, QEvent *evento) override;
    void closeEvent(QCloseEvent *evento) override;
    void contextMenuEvent(QContextMenuEvent *evento) override;

private:
    // A change that can be undone: its update changed exactly one row.
    struct CambioGuardado {
        QString posicion;
        std::optional<QString> anterior; // nothing when the unit was null
        QString nueva;
    };

    // Runs a handler's body: a component error ends the program, a passing condition
    // is told and the window goes on.
    void protegido(const std::function<void()> &cuerpo, const QString &posicion = {});
    void informarError(const ErrorComponente &error);
    void guardarConF9();
    void avisar(const QString &texto, Mensajes::Icono icono = Mensajes::Icono::Ninguno);
    // A warning of the component, in a box of its own; held until the start-up warning
    // has been answered Yes.
    void avisoDelComponente(const QString &aviso);
    void nombrarUnidad(QLineEdit *campo, QLabel *nombre);
    void mostrarPista();
    // The official description in the position field's tooltip and description.
    void describirEnLista();
    // After Enter found the row: the line under the position field notes an official
    // unit other than the row's (as read into leida_), or a position the list lacks.
    void notarUnidadOficial();
    // The list's entry; a list that cannot be read is told once and then left.
    [[nodiscard]] std::optional<Partida> partidaOficial(const QString &posicion);
    // "en la lista oficial del 14/06/2026".
    [[nodiscard]] QString enLaListaOficial() const;
    // The window's own actions (the list's entry, undo, open the journal) at the top of
    // `menu`, which
    // then opens at `dondeEnPantalla` and runs the one chosen.
    void abrirMenu(QMenu &menu, const QPoint &dondeEnPantalla);
    // A field's edit menu, under the window's actions: for the mouse, the Menu key
    // and Shift+F10 alike.
    void abrirMenuDelCampo(QLineEdit *campo, const QPoint &dondeEnPantalla);
    void abrirBitacora();

    Mensajes &mensajes_;
    const FabricaComponente crearComponente_;
    QFrame *const Shape;
    QLabel *const Lbl_Version;
    QLabel *const Lbl_Ncm;
    QLineEdit *const txtNcm;
    QLabel *const Lbl_Va;
    QLabel *const Label2;
    QLabel *const Lbl_UnidEst;
    QLabel *const Label1;
    QLineEdit *const txtUnidEst;
    QLineEdit *const txtUnidEstNEW;
    QLabel *const Lbl_Menu;
    QLabel *const Lbl_NombreUnidEst;
    QLabel *const Lbl_NombreUnidEstNEW;
    QLabel *const Lbl_Pista;
    std::unique_ptr<Componente> oDAM;
    // What F9's own lookup and update last saw: the unit as stored, and the rows changed.
    UnidadLeida leida_;
    ResultadoCambio cambio_;
    QList<CambioGuardado> deshacibles_;
    // The Menu key reached a field as a context menu event before its key press (as
    // X11 sends it), so that press has nothing left to open.
    bool menuDeTeclaAbierto_ = false;
    bool avisosALaVista_ = false;
    std::unique_ptr<ListaOficial> lista_;
    // The list's entry for the text of txtNcm, looked up as it changes.
    std::optional<Partida> partida_;
    QStringList avisosRetenidos_;
};
