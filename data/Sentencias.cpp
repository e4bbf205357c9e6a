#include "Sentencias.h"

#include "Codigos.h"

namespace {

// Doubling every quote keeps a typed value inside its literal, whatever it holds.
QString literal(QString valor)
{
    return valor.replace(u'\'', QStringLiteral("''"));
}

QString condicionClave(const QString &sNcm)
{
    const PositionKey clave = cortarPosicion(sNcm);
    return QStringLiteral("  [001] = '") + literal(clave.primero) + QStringLiteral("' AND")
         + QStringLiteral("  [002] = '") + literal(clave.segundo) + QStringLiteral("' AND")
         + QStringLiteral("  [003] = '") + literal(clave.tercero) + QStringLiteral("'");
}

// No real position or unit holds a backslash, and some servers read one inside a
// literal as an escape: such text never reaches a statement.
bool tieneBarraInversa(const QString &texto)
{
    return texto.contains(u'\\');
}

void fijarSentencia(Componente &oDAM, const QString &sentencia)
{
    const auto cn = oDAM.getDataConnectionByEntity(kEntidadNcm);
    cn->setSQL(sentencia);
}

QString comoTexto(const QVariant &valor)
{
    if (valor.isNull())
        return {};
    return valor.toString();
}

} // namespace

QString textoConsulta(const QString &sNcm)
{
    return QStringLiteral("Select [012] from Ncm Where") + condicionClave(sNcm);
}

QString textoUpdate(const QString &sNcm, const QString &sUnidEst)
{
    return QStringLiteral("Update NCM SET ") + QStringLiteral("[012] = '") + literal(sUnidEst)
         + QStringLiteral("' WHERE") + condicionClave(sNcm);
}

QString GetUnidEst(Componente &oDAM, const QString &sNcm, const Avisador &avisar)
{
    if (tieneBarraInversa(sNcm)) {
        avisar(QStringLiteral("Posicion Arancelaria No encontrada"));
        return NotFoundMarker;
    }
    fijarSentencia(oDAM, textoConsulta(sNcm));

    auto rs = std::make_unique<Recordset>();
    QVariant hayFila;
    {
        const auto cn = oDAM.getDataConnectionByEntity(kEntidadNcm);
        hayFila = cn->crearrs(rs);
    }
    if (!rs)
        rs = std::make_unique<Recordset>();

    if (hayFila.isNull() || !hayFila.toBool()) {
        avisar(QStringLiteral("Posicion Arancelaria No encontrada"));
        return NotFoundMarker;
    }
    return comoTexto(rs->Fields(QStringLiteral("012")));
}

bool EjecutarUpdate(Componente &oDAM, const QString &sNcm, const QString &sUnidEst)
{
    if (tieneBarraInversa(sNcm) || tieneBarraInversa(sUnidEst))
        return false;
    fijarSentencia(oDAM, textoUpdate(sNcm, sUnidEst));

    const auto cn = oDAM.getDataConnectionByEntity(kEntidadNcm);
    const QVariant filas = cn->Ejecutar();
    bool esNumero = false;
    const qlonglong cuenta = filas.toLongLong(&esNumero);
    return esNumero && cuenta > 0;
}
