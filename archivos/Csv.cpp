// SPDX-License-Identifier: GPL-3.0-or-later
#include "archivos/Csv.h"

#include <QStringEncoder>

#include <algorithm>

namespace {

// Appends the run of ordinary characters that starts at i, up to the next one `corta`
// stops at, in one go; returns where the run ends, less one.
template <typename Corta>
qsizetype agregarTramo(QString &campo, QStringView texto, qsizetype i, Corta corta)
{
    qsizetype fin = i + 1;
    while (fin < texto.size() && !corta(texto[fin]))
        ++fin;
    campo += texto.sliced(i, fin - i);
    return fin - 1;
}

} // namespace

int recorrerCsv(QStringView texto, QChar separador, bool recortar, const LectorCsv &lector)
{
    QString campo;
    qsizetype finCitado = -1; // where the quoted part of the field ended; -1: none
    bool entreComillas = false;
    bool pendiente = false; // something was read since the last line end
    int linea = 1;
    int inicioDeFila = 1;
    const auto terminarCampo = [&] {
        QStringView tal = campo;
        if (recortar && finCitado < 0) {
            tal = tal.trimmed();
        } else if (recortar) {
            const QStringView cola = tal.mid(finCitado);
            if (cola.trimmed().size() != cola.size())
                campo = campo.left(finCitado) + cola.trimmed();
            tal = campo;
        }
        lector.campo(tal);
        // Kept allocated: the next field reuses the room.
        campo.resize(0);
        finCitado = -1;
    };
    const qsizetype n = texto.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = texto[i];
        pendiente = true;
        if (entreComillas) {
            if (c == u'"' && i + 1 < n && texto[i + 1] == u'"') {
                campo += c;
                ++i;
            } else if (c == u'"') {
                entreComillas = false;
                finCitado = campo.size();
            } else if (c == u'\n' || c == u'\r') {
                if (c == u'\n' || i + 1 == n || texto[i + 1] != u'\n')
                    ++linea;
                campo += c;
            } else {
                i = agregarTramo(campo, texto, i, [](QChar d) { return d == u'"' || d == u'\n' || d == u'\r'; });
            }
        } else if (c == u'"' && finCitado < 0
                   && (recortar ? QStringView(campo).trimmed().isEmpty() : campo.isEmpty())) {
            entreComillas = true;
            campo.resize(0);
        } else if (c == separador) {
            terminarCampo();
        } else if (c == u'\n' || c == u'\r') {
            if (c == u'\r' && i + 1 < n && texto[i + 1] == u'\n')
                ++i;
            terminarCampo();
            lector.finDeFila(inicioDeFila);
            inicioDeFila = ++linea;
            pendiente = false;
        } else {
            i = agregarTramo(campo, texto, i,
                             [separador](QChar d) { return d == separador || d == u'"' || d == u'\n' || d == u'\r'; });
        }
    }
    if (entreComillas)
        return inicioDeFila;
    if (pendiente) {
        terminarCampo();
        lector.finDeFila(inicioDeFila);
    }
    return 0;
}

std::vector<FilaCsv> partirCsv(QStringView texto, QChar separador, bool recortar, int *sinCerrar)
{
    std::vector<FilaCsv> filas;
    QStringList campos;
    LectorCsv lector;
    lector.campo = [&](QStringView campo) { campos << campo.toString(); };
    lector.finDeFila = [&](int linea) {
        filas.push_back(FilaCsv{linea, std::move(campos)});
        campos = {};
    };
    *sinCerrar = recorrerCsv(texto, separador, recortar, lector);
    return filas;
}

QString lineaCsv(const QStringList &campos)
{
    // Room for every field, its comma and two quotes: one allocation per line.
    qsizetype largo = 0;
    for (const QString &campo : campos)
        largo += campo.size() + 3;
    QString linea;
    linea.reserve(largo);
    const auto especial = [](QChar c) { return c == u',' || c == u'"' || c == u'\n' || c == u'\r'; };
    for (qsizetype i = 0; i < campos.size(); ++i) {
        if (i > 0)
            linea += u',';
        const QString &tal = campos[i];
        const bool bordes = !tal.isEmpty() && (tal.front().isSpace() || tal.back().isSpace());
        if (!bordes && std::none_of(tal.cbegin(), tal.cend(), especial)) {
            linea += tal;
            continue;
        }
        // One change, one physical line: the reader takes each line alone.
        QString campo = tal;
        campo.replace(u'\n', u' ').replace(u'\r', u' ');
        const bool citar = (!campo.isEmpty() && (campo.front().isSpace() || campo.back().isSpace()))
            || campo.contains(u',') || campo.contains(u'"');
        if (citar)
            linea += u'"' + campo.replace(u'"', QStringLiteral("\"\"")) + u'"';
        else
            linea += campo;
    }
    return linea;
}

void agregarLineaCsv(QByteArray &destino, std::initializer_list<QStringView> campos)
{
    const auto agregar = [&](QStringView texto) {
        const qsizetype antes = destino.size();
        // ASCII, nearly every field of the journal, is its own UTF-8.
        if (std::all_of(texto.cbegin(), texto.cend(), [](QChar c) { return c.unicode() < 0x80; })) {
            destino.resize(antes + texto.size());
            std::transform(texto.cbegin(), texto.cend(), destino.data() + antes,
                           [](QChar c) { return char(c.unicode()); });
            return;
        }
        QStringEncoder utf8(QStringEncoder::Utf8);
        destino.resize(antes + utf8.requiredSpace(texto.size()));
        char *const fin = utf8.appendToBuffer(destino.data() + antes, texto);
        destino.truncate(fin - destino.constData());
    };
    const auto especial = [](QChar c) { return c == u',' || c == u'"' || c == u'\n' || c == u'\r'; };
    bool primero = true;
    for (const QStringView campo : campos) {
        if (!primero)
            destino += ',';
        primero = false;
        const bool bordes = !campo.isEmpty() && (campo.front().isSpace() || campo.back().isSpace());
        if (!bordes && std::none_of(campo.cbegin(), campo.cend(), especial))
            agregar(campo);
        else
            agregar(lineaCsv({campo.toString()}));
    }
}
