// SPDX-License-Identifier: GPL-3.0-or-later
#include "operaciones/Cambio.h"

#include "operaciones/Textos.h"

namespace {

ResultadoCambio anotado(Componente &oDAM, ResultadoCambio r, const QString &posicion, const QString &anterior,
                        const QString &nueva, const QString &origen)
{
    if (r.guardado())
        r.avisoBitacora = anotarEnBitacora({nuevaAnotacion(direccionDe(oDAM), posicion, anterior, nueva, origen)});
    return r;
}

// Runs `cuerpo` (which returns the rows its update changed) inside a transaction and
// commits when it changed some, unless a stop was asked for meanwhile. Rows changed,
// or 0 when nothing was stored.
template <typename Cuerpo>
qlonglong enTransaccion(Transacciones &t, Transacciones::Aislamiento aislamiento, const Parada &parada,
                        ResultadoCambio &r, Cuerpo &&cuerpo)
{
    if (parada.pedida()) {
        r.interrumpido = true;
        return 0;
    }
    qlonglong filas = 0;
    try {
        // Waiting to begin (another writer holds the SQLite file) may be stopped too.
        parada.cancelable(true);
        t.comenzarTransaccion(aislamiento);
        filas = cuerpo();
        parada.cancelable(false);
    } catch (const ErrorComponente &) {
        parada.cancelable(false);
        t.revertirTransaccion();
        // A request to stop stops the statement too: its failure is the stop.
        if (!parada.pedida())
            throw;
        r.interrumpido = true;
        return 0;
    }
    if (filas <= 0 || parada.pedida()) {
        t.revertirTransaccion();
        r.interrumpido = parada.pedida();
        return 0;
    }
    try {
        t.confirmarTransaccion();
    } catch (const ErrorDesenlaceIncierto &) {
        throw;
    } catch (const ErrorComponente &) {
        t.revertirTransaccion();
        throw;
    }
    return filas;
}

} // namespace

qlonglong filasCambiadas(Componente &oDAM, qlonglong filas, const QString &posicion,
                         const std::optional<QString> &unidad)
{
    if (filas >= 0)
        return filas;
    const UnidadLeida despues = ConsultarUnidad(oDAM, posicion);
    const bool laTiene = despues.encontrada
        && (unidad ? !despues.valor.isNull() && textoDeUnidad(despues.valor) == *unidad : despues.valor.isNull());
    return laTiene ? 1 : 0;
}

ResultadoCambio consultarYGuardar(Componente &oDAM, const QString &posicion, const QString &nueva,
                                  const QString &origen, const std::function<bool(const UnidadLeida &)> &seguir,
                                  const Parada &parada)
{
    ResultadoCambio r;
    auto *t = dynamic_cast<Transacciones *>(&oDAM);
    if (!t) {
        r.leida = ConsultarUnidad(oDAM, posicion);
        if (!seguir(r.leida))
            return r;
        r.enviado = true;
        r.filas = ActualizarUnidad(oDAM, posicion, nueva);
    } else {
        r.filas = enTransaccion(*t, Transacciones::Aislamiento::Repetible, parada, r, [&]() -> qlonglong {
            r.leida = ConsultarUnidad(oDAM, posicion);
            if (!seguir(r.leida))
                return 0;
            r.enviado = true;
            return filasCambiadas(oDAM, ActualizarUnidad(oDAM, posicion, nueva), posicion, nueva);
        });
    }
    const QString anterior = textoDeUnidad(r.leida.valor);
    return anotado(oDAM, std::move(r), posicion, anterior, nueva, origen);
}

ResultadoCambio guardarCambio(Componente &oDAM, const QString &posicion, const QString &anterior, const QString &nueva,
                              const QString &origen)
{
    ResultadoCambio r;
    r.enviado = true;
    r.filas = ActualizarUnidad(oDAM, posicion, nueva);
    return anotado(oDAM, std::move(r), posicion, anterior, nueva, origen);
}

ResultadoCambio deshacerCambio(Componente &oDAM, const QString &posicion, const std::optional<QString> &anterior,
                               const QString &actual)
{
    ResultadoCambio r;
    r.enviado = true;
    auto *t = dynamic_cast<Transacciones *>(&oDAM);
    if (!t)
        r.filas = DeshacerUnidad(oDAM, posicion, anterior, actual);
    else
        r.filas = enTransaccion(*t, Transacciones::Aislamiento::Confirmada, {}, r, [&] {
            return filasCambiadas(oDAM, DeshacerUnidad(oDAM, posicion, anterior, actual), posicion, anterior);
        });
    return anotado(oDAM, std::move(r), posicion, actual, anterior.value_or(QString()), QStringLiteral("deshacer"));
}

std::optional<QString> anotarEnBitacora(const QList<Anotacion> &anotaciones)
{
    const QString ruta = rutaBitacora();
    const std::optional<QString> motivo = anotarEn(ruta, anotaciones);
    if (!motivo)
        return std::nullopt;
    return mensajeFalloBitacora(ruta, *motivo);
}
