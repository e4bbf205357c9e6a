// SPDX-License-Identifier: GPL-3.0-or-later
#include "lista/Lineas.h"

#include "codes/Codigos.h"

#include <QStringDecoder>

#include <algorithm>
#include <array>

namespace {

// Windows-1252's letters from 0x80 to 0x9F; the five it leaves undefined read as the
// replacement character. From 0xA0 up it is Latin-1.
constexpr std::array<char16_t, 32> kDe80a9F{
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178,
};

QString desdeWindows1252(QByteArrayView linea)
{
    QString texto(linea.size(), Qt::Uninitialized);
    QChar *destino = texto.data();
    for (const char c : linea) {
        const auto b = static_cast<unsigned char>(c);
        *destino++ = b >= 0x80 && b < 0xA0 ? QChar(kDe80a9F[b - 0x80]) : QChar(char16_t(b));
    }
    return texto;
}

// The code's kind, and its digits: a full position is DDDD.DD.DD.DDD and a letter; a
// heading, the start of that without the letter ("6305.3"), or the form "63.05".
TipoDeLinea clasificarCodigo(QStringView codigo, QString &digitos)
{
    static const QString kForma = QStringLiteral("DDDD.DD.DD.DDD");
    digitos.clear();
    if (codigo.size() == 15 && esPosicionValida(codigo.toString()) && codigo[14].isUpper()
        && codigo[14].unicode() < 0x80) {
        for (qsizetype i = 0; i < 14; ++i) {
            if (kForma[i] == u'D' ? !esDigito(codigo[i]) : codigo[i] != u'.')
                return TipoDeLinea::Ilegible;
            if (kForma[i] == u'D')
                digitos += codigo[i];
        }
        return TipoDeLinea::Posicion;
    }
    if (codigo.size() == 5 && codigo[2] == u'.') {
        for (const qsizetype i : {0, 1, 3, 4})
            if (!esDigito(codigo[i]))
                return TipoDeLinea::Ilegible;
        digitos = codigo.left(2) + codigo.mid(3);
        return TipoDeLinea::Encabezado;
    }
    if (codigo.size() < 2 || codigo.size() > kForma.size() || codigo.endsWith(u'.'))
        return TipoDeLinea::Ilegible;
    for (qsizetype i = 0; i < codigo.size(); ++i) {
        if (kForma[i] == u'D' ? !esDigito(codigo[i]) : codigo[i] != u'.')
            return TipoDeLinea::Ilegible;
        if (kForma[i] == u'D')
            digitos += codigo[i];
    }
    return TipoDeLinea::Encabezado;
}

} // namespace

QString decodificarLinea(QByteArrayView linea)
{
    if (std::all_of(linea.begin(), linea.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return QString::fromLatin1(linea);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString texto = utf8(linea);
    return utf8.hasError() ? desdeWindows1252(linea) : texto;
}

QString limpiarDescripcion(QStringView texto)
{
    // Written in place: the clean text is never longer than the line's.
    QString limpio(texto.size(), Qt::Uninitialized);
    QChar *const inicio = limpio.data();
    QChar *fin = inicio;
    bool blanco = false;
    for (const QChar c : texto) {
        if (c.isSpace()) {
            blanco = true;
            continue;
        }
        // The depth's dashes and blanks before the first letter.
        if (fin == inicio && c == u'-')
            continue;
        if (blanco && fin != inicio)
            *fin++ = u' ';
        blanco = false;
        // "<<" and ">>", with nothing between them, stand for guillemets.
        if ((c == u'<' || c == u'>') && fin != inicio && fin[-1] == c)
            fin[-1] = c == u'<' ? u'«' : u'»';
        else
            *fin++ = c;
    }
    limpio.truncate(fin - inicio);
    return limpio;
}

LineaDeLista leerLineaDeLista(QByteArrayView bytes)
{
    LineaDeLista linea;
    const QString texto = decodificarLinea(bytes);
    if (QStringView(texto).trimmed().isEmpty()) {
        linea.tipo = TipoDeLinea::Vacia;
        return linea;
    }
    // Where each of the first ten fields starts; the eleventh is the rest of the line.
    const QStringView vista(texto);
    std::array<qsizetype, 11> inicios{};
    qsizetype campos = 1;
    for (qsizetype arroba = 0; campos < qsizetype(inicios.size()) && (arroba = vista.indexOf(u'@', arroba)) >= 0;)
        inicios[std::size_t(campos++)] = ++arroba;
    const auto campo = [&](qsizetype i) {
        const qsizetype fin = i + 1 < campos ? inicios[std::size_t(i + 1)] - 1 : vista.size();
        return vista.sliced(inicios[std::size_t(i)], fin - inicios[std::size_t(i)]);
    };
    const QStringView tipo = campo(0).trimmed();
    if (tipo.isEmpty() || !std::all_of(tipo.begin(), tipo.end(), esDigito))
        return linea;
    if (tipo != u"2") {
        linea.tipo = TipoDeLinea::OtroTipo;
        return linea;
    }
    if (campos < 11)
        return linea;
    linea.codigo = campo(1).trimmed().toString();
    linea.tipo = clasificarCodigo(linea.codigo, linea.digitos);
    if (linea.tipo == TipoDeLinea::Ilegible)
        return linea;
    linea.unidad = campo(8).trimmed().toString();
    // The description is the rest of the line, an "@" in it included.
    linea.descripcion = limpiarDescripcion(vista.sliced(inicios[10]));
    return linea;
}

bool DivisorDeLineas::siguiente(QByteArrayView &linea, qint64 &numero)
{
    if (posicion_ >= texto_.size())
        return false;
    const auto inicio = texto_.begin() + posicion_;
    const auto fin = std::find_if(inicio, texto_.end(), [](char c) { return c == '\n' || c == '\r'; });
    linea = QByteArrayView(inicio, fin);
    posicion_ = fin - texto_.begin();
    if (fin != texto_.end()) {
        ++posicion_;
        if (*fin == '\r' && posicion_ < texto_.size() && texto_[posicion_] == '\n')
            ++posicion_;
    }
    numero = ++numero_;
    return true;
}

void CaminoDeEncabezados::cerrarHasta(const QString &digitos, bool incluidoElIgual)
{
    while (!niveles_.empty()) {
        const QString &arriba = niveles_.back().digitos;
        const bool lo = digitos.startsWith(arriba) && (incluidoElIgual || arriba.size() < digitos.size());
        if (lo)
            break;
        niveles_.pop_back();
    }
}

void CaminoDeEncabezados::encabezado(const QString &digitos, const QString &texto)
{
    cerrarHasta(digitos, false);
    niveles_.push_back({digitos, texto});
}

QStringList CaminoDeEncabezados::sobre(const QString &digitos)
{
    cerrarHasta(digitos, true);
    QStringList textos;
    textos.reserve(qsizetype(niveles_.size()));
    for (const Nivel &n : niveles_)
        textos << n.texto;
    return textos;
}
