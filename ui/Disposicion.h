// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The window's layout as it was designed, in twips (1/1440 inch; 15 make one logical
// pixel at 96 dots per inch), and the fonts and widgets it is made of.

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QRect>
#include <QString>

class QLabel;
class QLineEdit;
class QWidget;

struct Lugar {
    int izquierda;
    int arriba;
    int ancho;
    int alto;
};

namespace disposicion {
inline constexpr Lugar kVentana{0, 0, 4230, 2835};
inline constexpr Lugar kShape{0, -15, 4230, 450};
inline constexpr Lugar kLbl_Version{180, 120, 3870, 195};
inline constexpr Lugar kLbl_Ncm{1290, 585, 1710, 195};
inline constexpr Lugar kTxtNcm{1185, 840, 1905, 330};
inline constexpr Lugar kLbl_Va{600, 1470, 1020, 195};
inline constexpr Lugar kLabel2{2655, 1485, 930, 195};
inline constexpr Lugar kLbl_UnidEst{345, 1740, 1545, 195};
inline constexpr Lugar kLabel1{2415, 1755, 1545, 195};
inline constexpr Lugar kTxtUnidEst{885, 1980, 360, 330};
inline constexpr Lugar kTxtUnidEstNEW{2955, 1995, 360, 330};
inline constexpr Lugar kLbl_Menu{0, 2550, 4230, 255};
// The notes sit in the free bands under the position field and between the unit
// fields and the key bar, each centred under its field.
inline constexpr Lugar kLbl_Pista{300, 1185, 3675, 225};
inline constexpr Lugar kLbl_NombreUnidEst{90, 2325, 1950, 225};
inline constexpr Lugar kLbl_NombreUnidEstNEW{2160, 2325, 1950, 225};
} // namespace disposicion

inline const QColor kGrisApagado(112, 112, 112);

[[nodiscard]] QRect enPixeles(const Lugar &lugar);

// The family asked for (Tahoma, MS Sans Serif), or an installed sans serif of similar
// width in its place; bold, at the given size.
[[nodiscard]] QFont fuente(const QString &familia, qreal puntos);

// A label in Tahoma 8.25 pt bold, or smaller where its text would not fit (see
// ajustarAlAncho).
[[nodiscard]] QLabel *etiqueta(QWidget *padre, const char *nombre, const QString &texto, const Lugar &lugar);
// A small line of information under a field: never focused, set by the program only.
[[nodiscard]] QLabel *nota(QWidget *padre, const char *nombre, const Lugar &lugar);
// A centred field in Tahoma 9 pt bold that takes at most `limite` typed characters,
// named for screen readers by its label.
[[nodiscard]] QLineEdit *campo(QWidget *padre, const char *nombre, int limite, const Lugar &lugar,
                               const QLabel *rotulo);

// Where the label's text is wider than the label at its font (a stand-in wider than the
// family the layout was made for), the largest size at which it fits: a label is
// never cut.
void ajustarAlAncho(QLabel *etiqueta);

void colorear(QWidget *w, QPalette::ColorRole rol, QColor color);
