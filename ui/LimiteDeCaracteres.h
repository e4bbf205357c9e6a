// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QValidator>

class QLineEdit;

// Limits what the user types or pastes into a field to a number of characters,
// like QLineEdit::maxLength, but leaves text set by the program whole: maxLength
// would cut "-01" written back by the unit check to "-0".
class LimiteDeCaracteres final : public QValidator {
public:
    LimiteDeCaracteres(QLineEdit *campo, int limite);
    State validate(QString &input, int &pos) const override;

private:
    const int limite_;
    QString anterior_;
};

// Writes text into a field whole, past its character limit.
void ponerTexto(QLineEdit *campo, const QString &texto);
