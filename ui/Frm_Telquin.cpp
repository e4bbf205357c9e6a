// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Frm_Telquin.h"

#include "Version.h"
#include "archivos/Bitacora.h"
#include "codes/Codigos.h"
#include "codes/Unidades.h"
#include "data/Avisos.h"
#include "data/Clases.h"
#include "data/Sentencias.h"
#include "operaciones/Textos.h"
#include "ui/Disposicion.h"
#include "ui/LimiteDeCaracteres.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>

#include <cstdio>
#include <utility>

namespace {

const QString kTitulo = QStringLiteral("Telquin");
const QString kCrLf = QStringLiteral("\r\n");
const QString kSufijoVersion
    = QStringLiteral("   v%1.%2.%3").arg(TELQUIN_VERSION_MAJOR).arg(TELQUIN_VERSION_MINOR).arg(TELQUIN_VERSION_PATCH);

// The window that the component's warnings go to: the last one made.
const Frm_Telquin *ventanaQueAvisa = nullptr;

} // namespace

Frm_Telquin::Frm_Telquin(Mensajes &mensajes, FabricaComponente crearComponente, QWidget *parent)
    : QWidget(parent)
    , mensajes_(mensajes)
    , crearComponente_(std::move(crearComponente))
    , Shape(new QFrame(this))
    , Lbl_Version(etiqueta(this, "Lbl_Version", QStringLiteral("Version compatible unicamente con MIRVOLA 3"),
                           disposicion::kLbl_Version))
    , Lbl_Ncm(etiqueta(this, "Lbl_Ncm", QStringLiteral("Posicion Arancelaria"), disposicion::kLbl_Ncm))
    , txtNcm(campo(this, "txtNcm", 15, disposicion::kTxtNcm, Lbl_Ncm))
    , Lbl_Va(etiqueta(this, "Lbl_Va", QStringLiteral("Valor Actual"), disposicion::kLbl_Va))
    , Label2(etiqueta(this, "Label2", QStringLiteral("Modificar a"), disposicion::kLabel2))
    , Lbl_UnidEst(etiqueta(this, "Lbl_UnidEst", QStringLiteral("Unidad Estadistica"), disposicion::kLbl_UnidEst))
    , Label1(etiqueta(this, "Label1", QStringLiteral("Unidad Estadistica"), disposicion::kLabel1))
    , txtUnidEst(campo(this, "txtUnidEst", 2, disposicion::kTxtUnidEst, Lbl_UnidEst))
    , txtUnidEstNEW(campo(this, "txtUnidEstNEW", 2, disposicion::kTxtUnidEstNEW, Label1))
    , Lbl_Menu(
          etiqueta(this, "Lbl_Menu", QStringLiteral("[F9] - Guardar Cambio   [ESC] - Salir "), disposicion::kLbl_Menu))
    , Lbl_NombreUnidEst(nota(this, "Lbl_NombreUnidEst", disposicion::kLbl_NombreUnidEst))
    , Lbl_NombreUnidEstNEW(nota(this, "Lbl_NombreUnidEstNEW", disposicion::kLbl_NombreUnidEstNEW))
    , Lbl_Pista(nota(this, "Lbl_Pista", disposicion::kLbl_Pista))
{
    setObjectName(QStringLiteral("Frm_Telquin"));
    setWindowTitle(QStringLiteral("ZAFKELO Telquin"));
    setFixedSize(enPixeles(disposicion::kVentana).size());

    Shape->setObjectName(QStringLiteral("Shape"));
    Shape->setGeometry(enPixeles(disposicion::kShape));
    Shape->setAutoFillBackground(true);
    colorear(Shape, QPalette::Window, Qt::white);
    Shape->lower();

    Lbl_Version->setFont(fuente(QStringLiteral("MS Sans Serif"), 8.25));
    ajustarAlAncho(Lbl_Version);
    colorear(Lbl_Version, QPalette::WindowText, QColor(192, 0, 0));
    Label1->setAutoFillBackground(true);
    Lbl_Menu->setAutoFillBackground(true);
    colorear(Lbl_Menu, QPalette::Window, QColor(224, 224, 224));
    Lbl_Menu->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    // Both unit fields sit under the same label; a screen reader tells them apart.
    txtUnidEst->setAccessibleName(QStringLiteral("unidad estadística actual"));
    txtUnidEstNEW->setAccessibleName(QStringLiteral("nueva unidad estadística"));
    txtUnidEst->setReadOnly(true);
    setTabOrder(txtNcm, txtUnidEst);
    setTabOrder(txtUnidEst, txtUnidEstNEW);
    setFocusProxy(txtNcm);
    txtNcm->setFocus();

    for (QLineEdit *c : {txtNcm, txtUnidEst, txtUnidEstNEW})
        c->installEventFilter(this);
    connect(txtNcm, &QLineEdit::textChanged, this, &Frm_Telquin::txtNcm_Change);

    Lbl_Menu->setToolTip(QStringLiteral("Ctrl+Z deshace el último cambio guardado desde esta ventana.\n"
                                        "Cada cambio queda anotado en el registro de cambios:\n")
                         + QDir::toNativeSeparators(rutaBitacora())
                         + QStringLiteral("\nEl botón derecho, la tecla Menú o Mayús+F10 en un campo: deshacer o "
                                          "abrir el registro."));

    colorear(Lbl_Pista, QPalette::WindowText, kGrisApagado);
    connect(txtNcm, &QLineEdit::textChanged, this, &Frm_Telquin::mostrarPista);
    connect(txtUnidEst, &QLineEdit::textChanged, this, [this] { nombrarUnidad(txtUnidEst, Lbl_NombreUnidEst); });
    connect(txtUnidEstNEW, &QLineEdit::textChanged, this,
            [this] { nombrarUnidad(txtUnidEstNEW, Lbl_NombreUnidEstNEW); });

    ventanaQueAvisa = this;
    recibirAvisos([this](const QString &aviso) { avisoDelComponente(aviso); });
}

Frm_Telquin::~Frm_Telquin()
{
    if (ventanaQueAvisa != this)
        return;
    ventanaQueAvisa = nullptr;
    // A component outliving the window tells what it has to say on standard error.
    recibirAvisos([](const QString &aviso) {
        const QByteArray linea = aviso.toUtf8() + '\n';
        std::fputs(linea.constData(), stderr);
        std::fflush(stderr);
    });
}

void Frm_Telquin::avisoDelComponente(const QString &aviso)
{
    // Written for standard error, where the program's name heads each line.
    const QString texto = aviso.startsWith(QStringLiteral("telquin: ")) ? aviso.mid(9) : aviso;
    if (avisosALaVista_)
        avisar(texto, Mensajes::Icono::Advertencia);
    else
        avisosRetenidos_ << texto;
}

bool Frm_Telquin::Form_Load()
{
    const QString aviso
        = QStringLiteral("Esta utilidad permite modificar la unidad estadistica de las posiciones arancelarias") + kCrLf
        + QStringLiteral("que especifique.") + kCrLf + kCrLf
        + QStringLiteral("El uso de esta utilidad corre bajo su propia responsabilidad.") + kCrLf + kCrLf
        + QStringLiteral("Desea continuar?");
    if (!mensajes_.preguntarSiNo(kTitulo + kSufijoVersion, aviso, Mensajes::Icono::Informacion, true)) {
        emit programaTerminado(0);
        return false;
    }
    avisosALaVista_ = true;
    for (const QString &retenido : std::exchange(avisosRetenidos_, {}))
        avisar(retenido, Mensajes::Icono::Advertencia);
    try {
        oDAM = crearComponente_();
        if (!oDAM)
            throw ErrorComponente(QStringLiteral("No se pudo crear el componente de datos."));
        oDAM->loadparameters();
    } catch (const ErrorComponente &error) {
        informarError(error);
        return false;
    }
    setWindowTitle(windowTitle() + kSufijoVersion);
    return true;
}

void Frm_Telquin::Form_Unload() { oDAM.reset(); }

bool Frm_Telquin::ValidarNCM() const { return esPosicionValida(txtNcm->text()); }

bool Frm_Telquin::ValidarUnidEst()
{
    ponerTexto(txtUnidEstNEW, formatearUnidad(txtUnidEstNEW->text()));
    return esUnidadValida(txtUnidEstNEW->text());
}

QString Frm_Telquin::GetUnidEst(const QString &sNcm)
{
    return ::GetUnidEst(
        *oDAM, sNcm, [this](const QString &texto) { avisar(texto); }, &leida_);
}

// Stores the change and notes it in the journal with the unit F9's lookup read, so
// that the journal has it before the user is told it is done.
bool Frm_Telquin::EjecutarUpdate(const QString &sNcm, const QString &sUnidEst)
{
    cambio_ = guardarCambio(*oDAM, sNcm, textoDeUnidad(leida_.valor), sUnidEst, QStringLiteral("ventana"));
    return cambio_.guardado();
}

void Frm_Telquin::txtNcm_Change()
{
    ponerTexto(txtUnidEst, QString());
    ponerTexto(txtUnidEstNEW, QString());
}

// The name is information only: F9 takes any two-digit unit, official or not.
void Frm_Telquin::nombrarUnidad(QLineEdit *campo, QLabel *nombre)
{
    const QString codigo = formatearUnidad(campo->text());
    const QString texto = descripcionDeUnidad(codigo);
    const bool oficial = nombreDeUnidad(codigo).has_value();
    colorear(nombre, QPalette::WindowText, oficial ? palette().color(QPalette::WindowText) : kGrisApagado);
    nombre->setText(nombre->fontMetrics().elidedText(texto, Qt::ElideRight, nombre->contentsRect().width()));
    nombre->setToolTip(texto);
    campo->setAccessibleDescription(texto);
}

// A hint, never a refusal: Enter and F9 go ahead with whatever letter was typed.
void Frm_Telquin::mostrarPista()
{
    const QString pista = pistaLetraDeControl(txtNcm->text());
    Lbl_Pista->setText(pista);
    Lbl_Pista->setToolTip({});
    txtNcm->setAccessibleDescription(pista);
    if (lista_)
        describirEnLista();
}

void Frm_Telquin::txtNcm_KeyDown(int KeyCode)
{
    if (KeyCode != Qt::Key_Return && KeyCode != Qt::Key_Enter)
        return;
    protegido([this] {
        if (!ValidarNCM()) {
            avisar(kFormatoIncorrecto);
            return;
        }
        const QString unidad = GetUnidEst(txtNcm->text());
        if (unidad != NotFoundMarker) {
            ponerTexto(txtUnidEst, unidad);
            txtUnidEstNEW->setFocus();
            if (lista_)
                notarUnidadOficial();
        }
    });
}

void Frm_Telquin::Form_KeyDown(int KeyCode)
{
    if (KeyCode == Qt::Key_F9)
        protegido([this] { guardarConF9(); });
    else if (KeyCode == Qt::Key_Escape)
        close();
}

void Frm_Telquin::guardarConF9()
{
    const bool ncmValida = ValidarNCM();
    const bool unidadValida = ValidarUnidEst();
    // The lookup and the update run in one transaction where the component offers
    // one. The lookup's own message waits until it has ended: no box may keep the
    // table locked while it waits for the user.
    bool noEncontrada = false;
    cambio_ = consultarYGuardar(
        *oDAM, txtNcm->text(), txtUnidEstNEW->text(), QStringLiteral("ventana"), [&](const UnidadLeida &leida) {
            noEncontrada = !leida.encontrada;
            // A row holding the marker itself reads as no row.
            return !noEncontrada && textoDeUnidad(leida.valor) != NotFoundMarker && ncmValida && unidadValida;
        });
    leida_ = cambio_.leida;
    if (noEncontrada)
        avisar(kPosicionNoEncontrada);
    if (!cambio_.enviado) {
        avisar(kVerifiqueLosDatos);
        return;
    }
    if (!cambio_.guardado()) {
        avisar(errorActualizando(txtNcm->text()), Mensajes::Icono::Critico);
        return;
    }
    // Several rows under one key can't be put back one by one.
    if (cambio_.filas == 1)
        deshacibles_.append({txtNcm->text(),
                             leida_.valor.isNull() ? std::nullopt : std::optional(textoDeUnidad(leida_.valor)),
                             txtUnidEstNEW->text()});

    avisar(QStringLiteral("Cambio en la Ncm ") + txtNcm->text() + QStringLiteral(" realizado correctamente:") + kCrLf
               + kCrLf + QStringLiteral("Unidad Estadistica anterior:") + txtUnidEst->text() + kCrLf
               + QStringLiteral("Unidad Estadistica actual:") + txtUnidEstNEW->text(),
           Mensajes::Icono::Informacion);
    ponerTexto(txtNcm, txtNcm->text().left(14));
    if (cambio_.avisoBitacora)
        avisar(*cambio_.avisoBitacora, Mensajes::Icono::Advertencia);
}

void Frm_Telquin::DeshacerUltimoCambio()
{
    if (deshacibles_.isEmpty())
        return;
    const CambioGuardado cambio = deshacibles_.last();
    const QString anterior = cambio.anterior.value_or(QStringLiteral("(vacía)"));
    if (!mensajes_.preguntarSiNo(kTitulo,
                                 QStringLiteral("¿Deshacer el cambio de la Ncm ") + cambio.posicion + u'?' + kCrLf
                                     + kCrLf + QStringLiteral("Unidad Estadistica actual:") + cambio.nueva + kCrLf
                                     + QStringLiteral("Volverá a ser:") + anterior,
                                 Mensajes::Icono::Pregunta, true))
        return;
    protegido(
        [&] {
            // Written only while the row still holds what this window stored.
            const ResultadoCambio deshecho = deshacerCambio(*oDAM, cambio.posicion, cambio.anterior, cambio.nueva);
            deshacibles_.removeLast();
            if (!deshecho.guardado()) {
                avisar(QStringLiteral("La Ncm ") + cambio.posicion + QStringLiteral(" ya no tiene la unidad ")
                           + cambio.nueva + QStringLiteral(": otro usuario la cambió. No se deshizo el cambio."),
                       Mensajes::Icono::Critico);
                return;
            }
            avisar(QStringLiteral("Cambio en la Ncm ") + cambio.posicion + QStringLiteral(" deshecho:") + kCrLf + kCrLf
                       + QStringLiteral("Unidad Estadistica anterior:") + cambio.nueva + kCrLf
                       + QStringLiteral("Unidad Estadistica actual:") + anterior,
                   Mensajes::Icono::Informacion);
            if (deshecho.avisoBitacora)
                avisar(*deshecho.avisoBitacora, Mensajes::Icono::Advertencia);
        },
        cambio.posicion);
}

void Frm_Telquin::avisar(const QString &texto, Mensajes::Icono icono) { mensajes_.mostrar(kTitulo, texto, icono); }

void Frm_Telquin::protegido(const std::function<void()> &cuerpo, const QString &posicion)
{
    try {
        cuerpo();
    } catch (const ErrorOcupado &e) {
        // A passing condition: nothing was stored, and the same key works again.
        const AvisoDeCondicion aviso = avisoDeCondicion(e.condicion(), posicion.isEmpty() ? txtNcm->text() : posicion);
        avisar(aviso.queOcurrio + kCrLf + kCrLf + aviso.queHacer, Mensajes::Icono::Critico);
    } catch (const ErrorComponente &error) {
        informarError(error);
    }
}

void Frm_Telquin::informarError(const ErrorComponente &error)
{
    avisar(error.mensaje(), Mensajes::Icono::Critico);
    hide();
    emit programaTerminado(1);
}

void Frm_Telquin::closeEvent(QCloseEvent *evento)
{
    Form_Unload();
    evento->accept();
}
