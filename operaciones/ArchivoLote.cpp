// SPDX-License-Identifier: GPL-3.0-or-later
// A batch file read into its compact rows.
#include "operaciones/Lote.h"

#include "archivos/Csv.h"

#include <QStringDecoder>

#include <algorithm>

namespace {

// "Posición", "POSICION", "posicion" all read "posicion".
QString sinAcentosEnMinusculas(const QString &texto)
{
    const QString descompuesto = texto.normalized(QString::NormalizationForm_D);
    QString salida;
    salida.reserve(descompuesto.size());
    for (const QChar c : descompuesto)
        if (c.category() != QChar::Mark_NonSpacing)
            salida += c.toLower();
    return salida;
}

// The first line (1-based) whose bytes are not UTF-8; LF, CRLF and CR end lines.
int lineaNoUtf8(QByteArrayView datos)
{
    int linea = 1;
    qsizetype inicio = 0;
    for (qsizetype i = 0; i <= datos.size(); ++i) {
        if (i < datos.size() && datos[i] != '\n' && datos[i] != '\r')
            continue;
        QStringDecoder decodificador(QStringDecoder::Utf8);
        // The decoding happens when the result becomes a QString.
        const QString texto = decodificador.decode(datos.sliced(inicio, i - inicio));
        if (decodificador.hasError())
            return linea;
        if (i + 1 < datos.size() && datos[i] == '\r' && datos[i + 1] == '\n')
            ++i;
        inicio = i + 1;
        ++linea;
    }
    return linea;
}

} // namespace

qsizetype FilasLote::campos(qsizetype fila) const
{
    const std::size_t f = std::size_t(fila);
    const quint32 fin = f + 1 < d_->filas.size() ? d_->filas[f + 1].primerCampo : d_->pendiente;
    return fin - d_->filas[f].primerCampo;
}

QStringView FilasLote::campo(qsizetype fila, qsizetype i) const
{
    if (i >= campos(fila))
        return {};
    const std::size_t k = d_->filas[std::size_t(fila)].primerCampo + std::size_t(i);
    const quint32 inicio = k == 0 ? 0 : d_->finDeCampo[k - 1];
    return QStringView(d_->texto).sliced(inicio, d_->finDeCampo[k] - inicio);
}

FilaLote FilasLote::operator[](qsizetype fila) const
{
    FilaLote f;
    f.linea = linea(fila);
    for (qsizetype i = 0, n = campos(fila); i < n; ++i)
        f.campos << campo(fila, i).toString();
    return f;
}

FilasLote::Datos &FilasLote::escribir()
{
    if (d_.use_count() > 1)
        d_ = std::make_shared<Datos>(*d_);
    return *d_;
}

void FilasLote::reservar(qsizetype caracteres) { escribir().texto.reserve(caracteres); }

void FilasLote::agregarCampo(QStringView campo)
{
    Datos &d = escribir();
    d.texto += campo;
    d.finDeCampo.push_back(quint32(d.texto.size()));
}

void FilasLote::terminarFila(int linea)
{
    Datos &d = escribir();
    // Fields that added no text are all empty: a blank row, left out.
    const quint32 inicio = d.pendiente == 0 ? 0 : d.finDeCampo[d.pendiente - 1];
    if (d.finDeCampo.size() == d.pendiente || d.finDeCampo.back() == inicio) {
        d.finDeCampo.resize(d.pendiente);
        return;
    }
    d.filas.push_back(Fila{linea, d.pendiente});
    d.pendiente = quint32(d.finDeCampo.size());
}

void FilasLote::quitarPrimera()
{
    Datos &d = escribir();
    d.filas.erase(d.filas.begin());
}

void FilasLote::vaciar() { d_ = std::make_shared<Datos>(); }

void FilasLote::ajustar()
{
    Datos &d = escribir();
    d.finDeCampo.resize(d.pendiente);
    d.texto.squeeze();
    d.finDeCampo.shrink_to_fit();
    d.filas.shrink_to_fit();
}

ArchivoLote leerLote(QByteArray datos)
{
    ArchivoLote archivo;
    QByteArrayView bytes = datos;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes = bytes.sliced(3);
    QStringDecoder decodificador(QStringDecoder::Utf8);
    QString texto = decodificador.decode(bytes);
    if (decodificador.hasError()) {
        archivo.error = QStringLiteral("la línea %1 no está escrita en UTF-8; guarde el archivo como CSV UTF-8")
                            .arg(lineaNoUtf8(bytes));
        return archivo;
    }

    const auto finPrimera
        = std::find_if(texto.cbegin(), texto.cend(), [](QChar c) { return c == u'\n' || c == u'\r'; });
    if (std::find(texto.cbegin(), finPrimera, u';') != finPrimera)
        archivo.separador = u';';

    FilasLote &filas = archivo.filas;
    filas.reservar(texto.size());
    LectorCsv lector;
    lector.campo = [&](QStringView campo) { filas.agregarCampo(campo); };
    lector.finDeFila = [&](int linea) { filas.terminarFila(linea); };
    const int sinCerrar = recorrerCsv(texto, archivo.separador, true, lector);
    texto = QString();
    if (sinCerrar) {
        filas.vaciar();
        archivo.error = QStringLiteral("la línea %1 abre unas comillas que no se cierran").arg(sinCerrar);
        return archivo;
    }
    filas.ajustar();
    if (!filas.empty() && filas.linea(0) == 1
        && sinAcentosEnMinusculas(filas.campo(0, 0).toString()) == QLatin1String("posicion")) {
        archivo.conCabecera = true;
        filas.quitarPrimera();
    }
    return archivo;
}
