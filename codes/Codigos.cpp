// SPDX-License-Identifier: GPL-3.0-or-later
#include "codes/Codigos.h"

#include <array>

#include <optional>

namespace {

struct Numero {
    bool negativo = false;
    QString entera;
    QString fraccion;
};

bool esSeparadorDecimal(QChar c) { return c == u'.' || c == u','; }

std::optional<Numero> leerNumero(const QString &s)
{
    const qsizetype n = s.size();
    qsizetype i = 0;
    const auto saltarBlancos = [&] {
        while (i < n && s[i] == u' ')
            ++i;
    };

    Numero num;
    saltarBlancos();
    if (i < n && (s[i] == u'+' || s[i] == u'-')) {
        num.negativo = s[i] == u'-';
        ++i;
    }
    bool conSeparador = false;
    for (; i < n; ++i) {
        const QChar c = s[i];
        if (esDigito(c))
            (conSeparador ? num.fraccion : num.entera).append(c);
        else if (esSeparadorDecimal(c) && !conSeparador)
            conSeparador = true;
        else
            break;
    }
    saltarBlancos();
    if (i != n || (num.entera.isEmpty() && num.fraccion.isEmpty()))
        return std::nullopt;
    return num;
}

// Adds one to a run of decimal digits, of any length.
QString sumarUno(QString digitos)
{
    for (qsizetype i = digitos.size() - 1; i >= 0; --i) {
        if (digitos[i] != u'9') {
            digitos[i] = QChar(digitos[i].unicode() + 1);
            return digitos;
        }
        digitos[i] = u'0';
    }
    return QLatin1Char('1') + digitos;
}

} // namespace

bool esDigito(QChar c) { return c >= u'0' && c <= u'9'; }

bool esNumerico(const QString &s) { return leerNumero(s).has_value(); }

bool esPosicionValida(const QString &sNcm)
{
    const bool largo = sNcm.size() == 15;
    const bool punto5 = sNcm.size() >= 5 && sNcm[4] == u'.';
    const bool punto8 = sNcm.size() >= 8 && sNcm[7] == u'.';
    const bool punto11 = sNcm.size() >= 11 && sNcm[10] == u'.';
    const bool letra = !(sNcm.size() >= 15 && esDigito(sNcm[14]));
    return largo && punto5 && punto8 && punto11 && letra;
}

std::optional<QChar> letraDeControl(const QString &sNcm)
{
    static constexpr int kPesos[] = {8, 6, 19, 17, 13, 11, 9, 7, 5, 3, 2};
    static constexpr char kLetras[] = "ABCDEFGHJKLMNPQRTUVWXYZ";
    static_assert(sizeof kLetras - 1 == 23);

    if (sNcm.size() < 14)
        return std::nullopt;
    int suma = 0;
    int peso = 0;
    for (qsizetype i = 0; i < 14; ++i) {
        const QChar c = sNcm[i];
        if (i == 4 || i == 7 || i == 10) {
            if (c != u'.')
                return std::nullopt;
        } else if (esDigito(c)) {
            suma += kPesos[peso++] * (c.unicode() - u'0');
        } else {
            return std::nullopt;
        }
    }
    return QChar(QLatin1Char(kLetras[suma % 23]));
}

QString pistaLetraDeControl(const QString &sNcm)
{
    const std::optional<QChar> letra = letraDeControl(sNcm);
    if (sNcm.size() != 15 || !letra || sNcm[14] == *letra)
        return {};
    return QStringLiteral("La letra de control debería ser ") + *letra;
}

PositionKey cortarPosicion(const QString &sNcm)
{
    // The check letter is one of 26 texts, shared rather than made for every key.
    static const std::array<QString, 26> kLetras = [] {
        std::array<QString, 26> letras;
        for (char16_t i = 0; i < 26; ++i)
            letras[i] = QString(QChar(u'A' + i));
        return letras;
    }();
    const QStringView letra = QStringView(sNcm).mid(14, 1);
    const bool mayuscula = letra.size() == 1 && letra[0] >= u'A' && letra[0] <= u'Z';
    return {sNcm.mid(0, 10), sNcm.mid(11, 3), mayuscula ? kLetras[letra[0].unicode() - u'A'] : letra.toString()};
}

QString formatearUnidad(const QString &sUnidEst)
{
    // Two digits are already the stored form; a batch meets little else.
    if (sUnidEst.size() == 2 && esDigito(sUnidEst[0]) && esDigito(sUnidEst[1]))
        return sUnidEst;
    const auto num = leerNumero(sUnidEst);
    if (!num)
        return sUnidEst;

    // Rounding is decimal and exact, on the digits themselves; a half rounds away
    // from zero (".5" gives "01", "-2.5" gives "-03").
    QString digitos = num->entera;
    if (!num->fraccion.isEmpty() && num->fraccion[0] >= u'5')
        digitos = sumarUno(digitos);

    qsizetype ceros = 0;
    while (ceros < digitos.size() && digitos[ceros] == u'0')
        ++ceros;
    digitos.remove(0, ceros);
    const bool esCero = digitos.isEmpty();
    while (digitos.size() < 2)
        digitos.prepend(u'0');
    return (num->negativo && !esCero ? QStringLiteral("-") : QString()) + digitos;
}

bool esUnidadValida(const QString &sUnidEst) { return sUnidEst.size() == 2 && esNumerico(sUnidEst); }
