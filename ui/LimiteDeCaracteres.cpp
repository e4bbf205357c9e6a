// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/LimiteDeCaracteres.h"

#include <QLineEdit>

LimiteDeCaracteres::LimiteDeCaracteres(QLineEdit *campo, int limite)
    : QValidator(campo)
    , limite_(limite)
    , anterior_(campo->text())
{
    connect(campo, &QLineEdit::textChanged, this, [this](const QString &texto) { anterior_ = texto; });
}

QValidator::State LimiteDeCaracteres::validate(QString &input, int &pos) const
{
    if (input.size() <= limite_ || input.size() <= anterior_.size())
        return Acceptable;

    // Keep of the inserted run only what fits in the room left.
    qsizetype prefijo = 0;
    while (prefijo < anterior_.size() && prefijo < input.size() && anterior_[prefijo] == input[prefijo])
        ++prefijo;
    qsizetype sufijo = 0;
    while (sufijo < anterior_.size() - prefijo && sufijo < input.size() - prefijo
           && anterior_[anterior_.size() - 1 - sufijo] == input[input.size() - 1 - sufijo])
        ++sufijo;
    const qsizetype quitados = anterior_.size() - prefijo - sufijo;
    const qsizetype sitio = qMax<qsizetype>(0, limite_ - (anterior_.size() - quitados));
    const QString insertado = input.mid(prefijo, input.size() - prefijo - sufijo).left(sitio);
    input = anterior_.left(prefijo) + insertado + anterior_.right(sufijo);
    pos = int(prefijo + insertado.size());
    return Acceptable;
}

void ponerTexto(QLineEdit *campo, const QString &texto)
{
    // QLineEdit runs the validator on setText too, so it is set aside meanwhile.
    const QValidator *limite = campo->validator();
    campo->setValidator(nullptr);
    campo->setText(texto);
    campo->setValidator(limite);
}
