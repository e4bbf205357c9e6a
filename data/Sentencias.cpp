// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/Sentencias.h"

#include "codes/Codigos.h"

#include <QVarLengthArray>

QString literal(QString valor) { return valor.replace(u'\'', QStringLiteral("''")); }

namespace {

// A statement's text is written into a buffer on the stack and copied once into
// its QString: a lookup builds one each time.
using Texto = QVarLengthArray<QChar, 128>;

void agregar(Texto &texto, QStringView parte) { texto.append(parte.data(), parte.size()); }

// The value between single quotes, each quote in it doubled, as literal() writes it.
void agregarLiteral(Texto &texto, QStringView valor)
{
    texto.append(u'\'');
    for (const QChar c : valor) {
        texto.append(c);
        if (c == u'\'')
            texto.append(c);
    }
    texto.append(u'\'');
}

void agregarCondicionClave(Texto &texto, const PositionKey &clave)
{
    agregar(texto, u"  [001] = ");
    agregarLiteral(texto, clave.primero);
    agregar(texto, u" AND  [002] = ");
    agregarLiteral(texto, clave.segundo);
    agregar(texto, u" AND  [003] = ");
    agregarLiteral(texto, clave.tercero);
}

QString cadena(const Texto &texto) { return QString(texto.constData(), texto.size()); }

QString consultaDeClave(const PositionKey &clave)
{
    Texto texto;
    agregar(texto, u"Select [012] from Ncm Where");
    agregarCondicionClave(texto, clave);
    return cadena(texto);
}

// Only the key values enter a statement: the eleventh character of a position does not.
bool claveVedada(const QString &sNcm) { return esVedada(cortarPosicion(sNcm)); }

void fijarSentencia(Componente &oDAM, const QString &sentencia)
{
    const auto cn = oDAM.getDataConnectionByEntity(kEntidadNcm);
    cn->setSQL(sentencia);
}

qlonglong ejecutar(Componente &oDAM, const QString &sentencia)
{
    fijarSentencia(oDAM, sentencia);
    const auto cn = oDAM.getDataConnectionByEntity(kEntidadNcm);
    const QVariant filas = cn->Ejecutar();
    bool esNumero = false;
    const qlonglong cuenta = filas.toLongLong(&esNumero);
    return esNumero ? cuenta : -1;
}

} // namespace

bool esVedado(const QString &valor)
{
    const qsizetype n = valor.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = valor[i];
        if (c == u'\\' || c.unicode() < 0x20)
            return true;
        // Half a pair has no UTF-8 form: the driver would send something else in its
        // place ("?" on PostgreSQL), a text that may be another row's key.
        if (c.isLowSurrogate())
            return true;
        if (c.isHighSurrogate()) {
            if (i + 1 == n || !valor[i + 1].isLowSurrogate())
                return true;
            ++i;
        }
    }
    return false;
}

bool esVedada(const PositionKey &clave)
{
    return esVedado(clave.primero) || esVedado(clave.segundo) || esVedado(clave.tercero);
}

QString textoConsulta(const QString &sNcm) { return consultaDeClave(cortarPosicion(sNcm)); }

QString textoUpdate(const QString &sNcm, const QString &sUnidEst)
{
    Texto texto;
    agregar(texto, u"Update NCM SET [012] = ");
    agregarLiteral(texto, sUnidEst);
    agregar(texto, u" WHERE");
    agregarCondicionClave(texto, cortarPosicion(sNcm));
    return cadena(texto);
}

QString textoDeshacer(const QString &sNcm, const std::optional<QString> &sAnterior, const QString &sActual)
{
    Texto texto;
    agregar(texto, u"Update NCM SET [012] = ");
    if (sAnterior)
        agregarLiteral(texto, *sAnterior);
    else
        agregar(texto, u"NULL");
    agregar(texto, u" WHERE");
    agregarCondicionClave(texto, cortarPosicion(sNcm));
    agregar(texto, u" AND  [012] = ");
    agregarLiteral(texto, sActual);
    return cadena(texto);
}

QString textoClavesDeTabla() { return QStringLiteral("Select [001], [002], [003], [012] from Ncm"); }

QString textoDeUnidad(const QVariant &valor)
{
    if (valor.isNull())
        return {};
    return valor.toString();
}

QString codigoDeUnidad(const QVariant &valor)
{
    const QString texto = textoDeUnidad(valor);
    switch (valor.typeId()) {
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return formatearUnidad(texto);
    default:
        return texto;
    }
}

UnidadLeida ConsultarUnidad(Componente &oDAM, const QString &sNcm)
{
    const PositionKey clave = cortarPosicion(sNcm);
    if (esVedada(clave))
        return {};
    fijarSentencia(oDAM, consultaDeClave(clave));

    auto rs = std::make_unique<Recordset>();
    QVariant hayFila;
    {
        const auto cn = oDAM.getDataConnectionByEntity(kEntidadNcm);
        hayFila = cn->crearrs(rs);
    }
    if (!rs)
        rs = std::make_unique<Recordset>();
    if (hayFila.isNull() || !hayFila.toBool())
        return {};
    return {true, rs->Fields(QStringLiteral("012"))};
}

QString GetUnidEst(Componente &oDAM, const QString &sNcm, const Avisador &avisar, UnidadLeida *leidaAfuera)
{
    const UnidadLeida leida = ConsultarUnidad(oDAM, sNcm);
    if (leidaAfuera)
        *leidaAfuera = leida;
    if (!leida.encontrada) {
        avisar(kPosicionNoEncontrada);
        return NotFoundMarker;
    }
    return textoDeUnidad(leida.valor);
}

bool EjecutarUpdate(Componente &oDAM, const QString &sNcm, const QString &sUnidEst)
{
    return ActualizarUnidad(oDAM, sNcm, sUnidEst) > 0;
}

qlonglong ActualizarUnidad(Componente &oDAM, const QString &sNcm, const QString &sUnidEst)
{
    if (claveVedada(sNcm) || esVedado(sUnidEst))
        return 0;
    return ejecutar(oDAM, textoUpdate(sNcm, sUnidEst));
}

qlonglong DeshacerUnidad(Componente &oDAM, const QString &sNcm, const std::optional<QString> &sAnterior,
                         const QString &sActual)
{
    if (claveVedada(sNcm) || esVedado(sActual) || (sAnterior && esVedado(*sAnterior)))
        return 0;
    return ejecutar(oDAM, textoDeshacer(sNcm, sAnterior, sActual));
}

std::optional<std::vector<FilaDeTabla>> ListarClavesDeTabla(Componente &oDAM)
{
    auto *consulta = dynamic_cast<FilasDeConsulta *>(&oDAM);
    if (!consulta)
        return std::nullopt;
    std::vector<std::vector<QVariant>> filas = consulta->leerFilas(kEntidadNcm, textoClavesDeTabla());
    std::vector<FilaDeTabla> claves;
    claves.reserve(filas.size());
    for (std::vector<QVariant> &fila : filas) {
        if (fila.size() < 4)
            throw ErrorComponente(QStringLiteral("La base de datos respondió a la sentencia con filas de %1 columnas "
                                                 "en lugar de 4.\n%2")
                                      .arg(fila.size())
                                      .arg(textoClavesDeTabla()));
        claves.push_back({{fila[0].toString(), fila[1].toString(), fila[2].toString()}, std::move(fila[3])});
    }
    return claves;
}
