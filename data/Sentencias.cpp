// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/Sentencias.h"

#include "codes/Codigos.h"

#include <algorithm>

QString literal(QString valor) { return valor.replace(u'\'', QStringLiteral("''")); }

namespace {

QString condicionClave(const QString &sNcm)
{
    const PositionKey clave = cortarPosicion(sNcm);
    return QStringLiteral("  [001] = '") + literal(clave.primero) + QStringLiteral("' AND")
        + QStringLiteral("  [002] = '") + literal(clave.segundo) + QStringLiteral("' AND")
        + QStringLiteral("  [003] = '") + literal(clave.tercero) + QStringLiteral("'");
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
    return std::any_of(valor.cbegin(), valor.cend(), [](QChar c) { return c == u'\\' || c.unicode() < 0x20; });
}

bool esVedada(const PositionKey &clave)
{
    return esVedado(clave.primero) || esVedado(clave.segundo) || esVedado(clave.tercero);
}

QString textoConsulta(const QString &sNcm)
{
    return QStringLiteral("Select [012] from Ncm Where") + condicionClave(sNcm);
}

QString textoUpdate(const QString &sNcm, const QString &sUnidEst)
{
    return QStringLiteral("Update NCM SET ") + QStringLiteral("[012] = '") + literal(sUnidEst)
        + QStringLiteral("' WHERE") + condicionClave(sNcm);
}

QString textoDeshacer(const QString &sNcm, const std::optional<QString> &sAnterior, const QString &sActual)
{
    const QString valor = sAnterior ? u'\'' + literal(*sAnterior) + u'\'' : QStringLiteral("NULL");
    return QStringLiteral("Update NCM SET [012] = ") + valor + QStringLiteral(" WHERE") + condicionClave(sNcm)
        + QStringLiteral(" AND  [012] = '") + literal(sActual) + u'\'';
}

QString textoDeUnidad(const QVariant &valor)
{
    if (valor.isNull())
        return {};
    return valor.toString();
}

UnidadLeida ConsultarUnidad(Componente &oDAM, const QString &sNcm)
{
    if (claveVedada(sNcm))
        return {};
    fijarSentencia(oDAM, textoConsulta(sNcm));

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
