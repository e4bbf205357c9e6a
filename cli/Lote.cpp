// SPDX-License-Identifier: GPL-3.0-or-later
#include "Lote.h"

#include "Codigos.h"
#include "Sentencias.h"

#include <QHash>
#include <QStringDecoder>

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

// The first line (1-based) whose bytes are not UTF-8.
int lineaNoUtf8(const QByteArray &datos)
{
    int linea = 1;
    for (const QByteArray &trozo : datos.split('\n')) {
        QStringDecoder decodificador(QStringDecoder::Utf8);
        // The decoding happens when the result becomes a QString.
        const QString texto = decodificador.decode(trozo);
        if (decodificador.hasError())
            return linea;
        ++linea;
    }
    return linea;
}

class Lector {
public:
    Lector(QStringView texto, QChar separador) : texto_(texto), separador_(separador) { }

    // False, with *sinCerrar the line of its row, when a quote is never closed.
    bool leer(std::vector<FilaLote> &filas, int *sinCerrar)
    {
        const qsizetype n = texto_.size();
        for (qsizetype i = 0; i < n; ++i) {
            const QChar c = texto_[i];
            if (entreComillas_) {
                if (c == u'"') {
                    if (i + 1 < n && texto_[i + 1] == u'"') {
                        campo_ += c;
                        ++i;
                    } else {
                        entreComillas_ = false;
                        inicio_ = i + 1;
                    }
                } else {
                    if (c == u'\n')
                        ++linea_;
                    campo_ += c;
                }
            } else if (c == u'"' && !citado_ && texto_.mid(inicio_, i - inicio_).trimmed().isEmpty()) {
                entreComillas_ = true;
                citado_ = true;
            } else if (c == separador_) {
                terminarCampo(i);
            } else if (c == u'\n' || (c == u'\r' && i + 1 < n && texto_[i + 1] == u'\n')) {
                terminarFila(filas, i);
                if (c == u'\r')
                    ++i;
                inicioFila_ = ++linea_;
            }
        }
        if (entreComillas_) {
            *sinCerrar = inicioFila_;
            return false;
        }
        terminarFila(filas, n);
        return true;
    }

private:
    // The field ends before position fin. Unquoted text is taken from the input as
    // it stands, without its blanks; after a quoted part, what follows is added.
    void terminarCampo(qsizetype fin)
    {
        const QStringView resto = texto_.mid(inicio_, fin - inicio_).trimmed();
        if (citado_) {
            campo_ += resto;
            campos_ << campo_;
            campo_.clear();
        } else {
            campos_ << resto.toString();
        }
        citado_ = false;
        inicio_ = fin + 1;
    }

    void terminarFila(std::vector<FilaLote> &filas, qsizetype fin)
    {
        terminarCampo(fin);
        const bool vacia = std::all_of(campos_.cbegin(), campos_.cend(), [](const QString &c) { return c.isEmpty(); });
        if (!vacia)
            filas.push_back(FilaLote{inicioFila_, std::move(campos_)});
        campos_ = QStringList();
    }

    QStringView texto_;
    QChar separador_;
    QString campo_; // a quoted field's text
    QStringList campos_;
    qsizetype inicio_ = 0; // where the field's unquoted text begins
    bool entreComillas_ = false;
    bool citado_ = false;
    int linea_ = 1;
    int inicioFila_ = 1;
};

} // namespace

ArchivoLote leerLote(QByteArray datos)
{
    ArchivoLote archivo;
    if (datos.startsWith("\xEF\xBB\xBF"))
        datos.remove(0, 3);
    QStringDecoder decodificador(QStringDecoder::Utf8);
    const QString texto = decodificador.decode(datos);
    if (decodificador.hasError()) {
        archivo.error = QStringLiteral("la línea %1 no está escrita en UTF-8; guarde el archivo como CSV UTF-8")
                            .arg(lineaNoUtf8(datos));
        return archivo;
    }

    const qsizetype finPrimera = texto.indexOf(u'\n');
    if (QStringView(texto).left(finPrimera < 0 ? texto.size() : finPrimera).contains(u';'))
        archivo.separador = u';';

    int sinCerrar = 0;
    if (!Lector(texto, archivo.separador).leer(archivo.filas, &sinCerrar)) {
        archivo.filas.clear();
        archivo.error = QStringLiteral("la línea %1 abre unas comillas que no se cierran").arg(sinCerrar);
        return archivo;
    }
    if (!archivo.filas.empty() && archivo.filas.front().linea == 1
        && sinAcentosEnMinusculas(archivo.filas.front().campos.front()) == QLatin1String("posicion")) {
        archivo.conCabecera = true;
        archivo.filas.erase(archivo.filas.begin());
    }
    return archivo;
}

const QString &nombreDeResultado(Resultado r)
{
    // In the order of Resultado.
    static const QString nombres[] = {
        QStringLiteral("cambia"),
        QStringLiteral("igual"),
        QStringLiteral("no encontrada"),
        QStringLiteral("formato incorrecto"),
        QStringLiteral("unidad incorrecta"),
        QStringLiteral("repetida"),
    };
    return nombres[std::size_t(r)];
}

std::vector<Revision> revisarLote(Componente &oDAM, const std::vector<FilaLote> &filas, const AvanceDeRevision &avance)
{
    std::vector<Revision> revisiones;
    revisiones.reserve(filas.size());
    // The first unit each position asks for, and whether another row asks for another.
    QHash<QString, std::pair<QString, bool>> unidades;
    unidades.reserve(qsizetype(filas.size()));
    for (const FilaLote &fila : filas) {
        Revision r;
        r.linea = fila.linea;
        r.posicion = fila.campos.value(0);
        r.nueva = formatearUnidad(fila.campos.value(1));
        r.nota = pistaLetraDeControl(r.posicion);
        const bool camposDeMas = std::any_of(fila.campos.cbegin() + std::min<qsizetype>(2, fila.campos.size()),
                                             fila.campos.cend(), [](const QString &c) { return !c.isEmpty(); });
        if (camposDeMas || !esPosicionValida(r.posicion)) {
            r.resultado = Resultado::FormatoIncorrecto;
        } else {
            const auto entrada = unidades.find(r.posicion);
            if (entrada == unidades.end())
                unidades.insert(r.posicion, {r.nueva, false});
            else if (entrada->first != r.nueva)
                entrada->second = true;
            const UnidadLeida leida = ConsultarUnidad(oDAM, r.posicion);
            if (!leida.encontrada) {
                r.resultado = Resultado::NoEncontrada;
            } else {
                r.actual = textoDeUnidad(leida.valor);
                r.resultado = !esUnidadValida(r.nueva) ? Resultado::UnidadIncorrecta
                    : r.actual == r.nueva              ? Resultado::Igual
                                                       : Resultado::Cambia;
            }
        }
        revisiones.push_back(std::move(r));
        if (avance && !avance(qsizetype(revisiones.size())))
            break;
    }
    for (Revision &r : revisiones) {
        if (esError(r.resultado))
            continue;
        const auto entrada = unidades.constFind(r.posicion);
        if (entrada != unidades.constEnd() && entrada->second)
            r.resultado = Resultado::Repetida;
    }
    return revisiones;
}
