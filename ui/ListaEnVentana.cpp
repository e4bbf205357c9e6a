// SPDX-License-Identifier: GPL-3.0-or-later
// What the window shows of the official list: the official unit under the position
// field, the description in its tooltip, and the box of F2. It informs only: the
// table changes by F9, as always.
#include "ui/Frm_Telquin.h"

#include "codes/Codigos.h"
#include "codes/Unidades.h"
#include "ui/LimiteDeCaracteres.h"

#include <QLabel>
#include <QLineEdit>

namespace {

const QString kTitulo = QStringLiteral("Telquin");
const QString kCrLf = QStringLiteral("\r\n");

// "01 KILOGRAMO": the unit as written, and the name of the code it stands for (a
// column of integers holds 1 for "01").
QString unidadConNombre(const QString &texto, const QString &codigo)
{
    return texto.isEmpty() ? QStringLiteral("(vacía)") : texto + u' ' + descripcionDeUnidad(codigo);
}
QString unidadConNombre(const QString &codigo) { return unidadConNombre(codigo, codigo); }

QString unidos(const QString &a, const QString &b)
{
    if (a.isEmpty() || b.isEmpty())
        return a + b;
    return a + QStringLiteral(". ") + b;
}

} // namespace

void Frm_Telquin::usarLista(std::unique_ptr<ListaOficial> lista)
{
    lista_ = std::move(lista);
    partida_.reset();
    if (lista_)
        Lbl_Menu->setToolTip(Lbl_Menu->toolTip()
                             + QStringLiteral("\nF2 o «Ver en la lista oficial» en ese menú: la "
                                              "posición en la lista oficial."));
    mostrarPista();
}

std::optional<Partida> Frm_Telquin::partidaOficial(const QString &posicion)
{
    if (!lista_)
        return std::nullopt;
    try {
        return lista_->partida(posicion);
    } catch (const ErrorDeLista &error) {
        // Told once: the window goes on as it does without a list.
        lista_.reset();
        avisar(QStringLiteral("No se puede leer la lista oficial: ") + error.mensaje() + kCrLf + kCrLf
                   + QStringLiteral("La ventana sigue sin ella."),
               Mensajes::Icono::Advertencia);
        return std::nullopt;
    }
}

QString Frm_Telquin::enLaListaOficial() const
{
    // A list whose file's name gave no date is still the one in use.
    const QDate fecha = lista_ ? lista_->datos().fecha : QDate();
    if (!fecha.isValid())
        return QStringLiteral("en la lista oficial en uso");
    return QStringLiteral("en la lista oficial del ") + fecha.toString(QStringLiteral("dd/MM/yyyy"));
}

void Frm_Telquin::describirEnLista()
{
    const QString posicion = txtNcm->text();
    partida_ = esPosicionValida(posicion) ? partidaOficial(posicion) : std::nullopt;
    const QString descripcion = partida_ ? partida_->descripcionCompleta() : QString();
    txtNcm->setToolTip(descripcion);
    txtNcm->setAccessibleDescription(unidos(Lbl_Pista->text(), descripcion));
}

void Frm_Telquin::notarUnidadOficial()
{
    // The check letter's hint comes first: a position with the wrong letter is rarely
    // the list's.
    if (!lista_ || !Lbl_Pista->text().isEmpty())
        return;
    QString nota;
    if (!partida_)
        nota = QStringLiteral("No figura ") + enLaListaOficial();
    else if (!partida_->unidad.isEmpty() && partida_->unidad != codigoDeUnidad(leida_.valor))
        nota = QStringLiteral("Unidad oficial: ") + unidadConNombre(partida_->unidad);
    Lbl_Pista->setText(Lbl_Pista->fontMetrics().elidedText(nota, Qt::ElideRight, Lbl_Pista->contentsRect().width()));
    Lbl_Pista->setToolTip(nota);
    txtNcm->setAccessibleDescription(unidos(nota, partida_ ? partida_->descripcionCompleta() : QString()));
}

void Frm_Telquin::VerEnListaOficial()
{
    if (!lista_)
        return;
    const QString posicion = txtNcm->text();
    if (!esPosicionValida(posicion)) {
        avisar(QStringLiteral("Escriba una posición completa (Ej. 8901.10.00.000L) para verla en la lista oficial."));
        return;
    }
    const std::optional<Partida> partida = partidaOficial(posicion);
    if (!lista_)
        return;
    if (!partida) {
        avisar(QStringLiteral("La posición %1 no figura %2.").arg(posicion, enLaListaOficial()),
               Mensajes::Icono::Informacion);
        return;
    }
    protegido([&] {
        // What the row holds now, read as Enter reads it, without its message.
        const UnidadLeida leida = ConsultarUnidad(*oDAM, posicion);
        const QString tabla = unidadConNombre(textoDeUnidad(leida.valor), codigoDeUnidad(leida.valor));
        const bool distinta
            = leida.encontrada && !partida->unidad.isEmpty() && codigoDeUnidad(leida.valor) != partida->unidad;

        QString texto = posicion + kCrLf + kCrLf;
        QString sangria;
        for (const QString &encabezado : partida->encabezados) {
            texto += sangria + encabezado + kCrLf;
            sangria += QStringLiteral("  ");
        }
        texto += sangria + partida->descripcion + kCrLf + kCrLf;
        texto += partida->unidad.isEmpty() ? QStringLiteral("La lista no le da unidad estadística.")
                                           : QStringLiteral("Unidad oficial: ") + unidadConNombre(partida->unidad);
        texto += kCrLf;
        if (!leida.encontrada)
            texto += QStringLiteral("La tabla no tiene esta posición.");
        else if (partida->unidad.isEmpty() || !distinta)
            texto += QStringLiteral("En la tabla: ") + tabla
                + (partida->unidad.isEmpty() ? QString() : QStringLiteral(", la misma."));
        else
            texto += QStringLiteral("En la tabla: ") + tabla + QStringLiteral(", distinta de la oficial.");
        const QDate fecha = lista_->datos().fecha;
        if (fecha.isValid())
            texto
                += kCrLf + kCrLf + QStringLiteral("Lista oficial del ") + fecha.toString(QStringLiteral("dd/MM/yyyy"));

        if (!distinta) {
            avisar(texto, Mensajes::Icono::Informacion);
            return;
        }
        if (mensajes_.mostrarConBoton(kTitulo, texto, Mensajes::Icono::Informacion,
                                      QStringLiteral("Usar la unidad oficial"))) {
            // Stored only by F9, which checks it as any typed unit.
            ponerTexto(txtUnidEstNEW, partida->unidad);
            txtUnidEstNEW->setFocus();
        }
    });
}
