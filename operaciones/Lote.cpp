// SPDX-License-Identifier: GPL-3.0-or-later
#include "operaciones/Lote.h"

#include "archivos/Csv.h"
#include "codes/Codigos.h"
#include "data/Sentencias.h"
#include "operaciones/Cambio.h"

#include <QHash>
#include <QStringDecoder>

#include <algorithm>
#include <numeric>

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

// A view as a QString, without copying it: for calls that take one and keep no copy
// past the life of the text it shows.
QString crudo(QStringView v) { return QString::fromRawData(v.data(), v.size()); }

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

VistaRevision Revisiones::vista(qsizetype fila) const
{
    const Fila &f = filas[std::size_t(fila)];
    VistaRevision v;
    v.linea = archivo.linea(fila);
    v.posicion = archivo.campo(fila, 0);
    v.nueva = unidades[f.nueva];
    v.resultado = f.resultado;
    if (f.posicion >= 0) {
        const Posicion &p = posiciones[std::size_t(f.posicion)];
        const qint32 actual = p.fila == quint32(fila) ? p.anterior : p.actual;
        if (actual >= 0)
            v.actual = unidades[actual];
    }
    v.nota = pistaLetraDeControl(crudo(v.posicion));
    return v;
}

Revision Revisiones::operator[](qsizetype fila) const
{
    const VistaRevision v = vista(fila);
    return Revision{v.linea, v.posicion.toString(), v.actual.toString(), v.nueva.toString(), v.resultado, v.nota};
}

namespace {

// Each unit text once: a row or a position holds its index.
class Unidades {
public:
    explicit Unidades(QStringList &textos) : textos_(textos) { dosCifras_.fill(-1); }

    // The unit as written in the file, normalised as F9 would store it.
    qint32 escrita(QStringView texto)
    {
        // Two digits are their own stored form, and nearly every row of a batch.
        if (texto.size() == 2 && esDigito(texto[0]) && esDigito(texto[1])) {
            qint32 &indice = dosCifras_[std::size_t(texto[0].unicode() - u'0') * 10 + (texto[1].unicode() - u'0')];
            if (indice < 0)
                indice = de(texto.toString());
            return indice;
        }
        return de(formatearUnidad(texto.toString()));
    }

    qint32 leida(const QVariant &valor) { return de(textoDeUnidad(valor)); }

private:
    qint32 de(const QString &texto)
    {
        const auto entrada = indices_.constFind(texto);
        if (entrada != indices_.constEnd())
            return *entrada;
        const qint32 indice = qint32(textos_.size());
        indices_.insert(texto, indice);
        textos_ << texto;
        return indice;
    }

    QStringList &textos_;
    QHash<QString, qint32> indices_;
    std::array<qint32, 100> dosCifras_;
};

bool conFormato(const FilasLote &filas, qsizetype fila)
{
    for (qsizetype i = 2, n = filas.campos(fila); i < n; ++i)
        if (!filas.campo(fila, i).isEmpty())
            return false;
    return esPosicionValida(crudo(filas.campo(fila, 0)));
}

// Each row's unit and position, each well written position once, in the order of the
// rows that first name it; the results still to be decided.
void clasificar(const FilasLote &filas, Revisiones &r, Unidades &unidades)
{
    r.archivo = filas;
    r.filas.reserve(std::size_t(filas.size()));
    QHash<QStringView, qint32> indices;
    for (qsizetype i = 0; i < filas.size(); ++i) {
        Revisiones::Fila f{-1, unidades.escrita(filas.campo(i, 1)), Resultado::FormatoIncorrecto};
        if (conFormato(filas, i)) {
            const QStringView posicion = filas.campo(i, 0);
            auto entrada = indices.find(posicion);
            if (entrada == indices.end()) {
                entrada = indices.insert(posicion, qint32(r.posiciones.size()));
                r.posiciones.push_back(Revisiones::Posicion{quint32(i)});
            }
            f.posicion = *entrada;
        }
        r.filas.push_back(f);
    }
    r.posiciones.shrink_to_fit();
}

QStringView textoDe(const Revisiones &r, qint32 posicion)
{
    return r.archivo.campo(r.posiciones[std::size_t(posicion)].fila, 0);
}

// The positions in the order their rows are locked: by key, so that two batches never
// wait on each other in turn. The key's three parts have fixed widths in a well written
// position, so the position's own order is the key's.
std::vector<qint32> ordenarPorClave(const Revisiones &r)
{
    std::vector<qint32> orden(r.posiciones.size());
    std::iota(orden.begin(), orden.end(), 0);
    std::sort(orden.begin(), orden.end(), [&](qint32 a, qint32 b) { return textoDe(r, a) < textoDe(r, b); });
    return orden;
}

// Each row's result from what the lookups read, in file order.
void decidir(Revisiones &r)
{
    for (std::size_t i = 0; i < r.filas.size(); ++i) {
        Revisiones::Fila &f = r.filas[i];
        if (f.posicion < 0)
            continue;
        Revisiones::Posicion &p = r.posiciones[std::size_t(f.posicion)];
        if (p.fila == i)
            p.pedida = f.nueva;
        else if (p.pedida != f.nueva)
            p.repetida = true;
        f.resultado = p.actual < 0                 ? Resultado::NoEncontrada
            : !esUnidadValida(r.unidades[f.nueva]) ? Resultado::UnidadIncorrecta
            : p.actual == f.nueva                  ? Resultado::Igual
                                                   : Resultado::Cambia;
    }
    for (Revisiones::Fila &f : r.filas)
        if (!esError(f.resultado) && r.posiciones[std::size_t(f.posicion)].repetida)
            f.resultado = Resultado::Repetida;
}

qsizetype contarErrores(const Revisiones &r)
{
    return std::count_if(r.filas.cbegin(), r.filas.cend(),
                         [](const Revisiones::Fila &f) { return esError(f.resultado); });
}

struct Recorrido {
    const Seguimiento &seguimiento;
    qsizetype filasPorTrozo;
    bool interrumpido = false;

    // Calls hacer(desde, hasta) on each piece of `total` items, reporting progress
    // as `filas` rows in all; false when asked to stop before a piece.
    template <typename Hacer>
    bool recorrer(qsizetype total, qsizetype filas, qsizetype porPieza, Hacer &&hacer)
    {
        for (qsizetype desde = 0; desde < total; desde += porPieza) {
            if (seguimiento.interrumpir()) {
                interrumpido = true;
                return false;
            }
            const qsizetype hasta = std::min(total, desde + porPieza);
            hacer(desde, hasta);
            seguimiento.avance(total == 0 ? filas : filas * hasta / total);
        }
        return true;
    }
};

// What the rows of the positions hold, in the order given, a chunk at a time or one
// position at a time.
bool leer(Componente &oDAM, FilasEnBloque *bloques, Revisiones &r, Unidades &unidades, const std::vector<qint32> &orden,
          bool bloquear, Recorrido &recorrido)
{
    const auto anotar = [&](qint32 posicion, qint32 unidad) {
        Revisiones::Posicion &p = r.posiciones[std::size_t(posicion)];
        p.actual = p.anterior = unidad;
    };
    const qsizetype filas = r.size();
    if (!bloques)
        return recorrido.recorrer(qsizetype(orden.size()), filas, 1, [&](qsizetype i, qsizetype) {
            const qint32 p = orden[std::size_t(i)];
            const UnidadLeida leida = ConsultarUnidad(oDAM, textoDe(r, p).toString());
            anotar(p, leida.encontrada ? unidades.leida(leida.valor) : -1);
        });
    return recorrido.recorrer(
        qsizetype(orden.size()), filas, recorrido.filasPorTrozo, [&](qsizetype desde, qsizetype hasta) {
            std::vector<PositionKey> claves;
            claves.reserve(std::size_t(hasta - desde));
            for (qsizetype i = desde; i < hasta; ++i)
                claves.push_back(cortarPosicion(crudo(textoDe(r, orden[std::size_t(i)]))));
            const std::vector<std::optional<QVariant>> leidas = bloques->consultarUnidades(claves, bloquear);
            for (qsizetype i = desde; i < hasta; ++i) {
                const std::optional<QVariant> &unidad = leidas[std::size_t(i - desde)];
                anotar(orden[std::size_t(i)], unidad ? unidades.leida(*unidad) : -1);
            }
        });
}

// The positions that change, in the order their rows were locked. Called only when no
// row has an error, so all the rows of a position change or none does.
std::vector<qint32> aCambiar(const Revisiones &r, const std::vector<qint32> &enOrden)
{
    std::vector<qint32> cambios;
    for (const qint32 p : enOrden)
        if (r.filas[r.posiciones[std::size_t(p)].fila].resultado == Resultado::Cambia)
            cambios.push_back(p);
    return cambios;
}

// Updates the rows that change; the first position whose update changed nothing, or
// none. Row by row, each row is read again just before its update, so that the journal
// notes the unit the update replaced.
std::optional<qint32> actualizar(Componente &oDAM, FilasEnBloque *bloques, Revisiones &r, Unidades &unidades,
                                 const std::vector<qint32> &cambios, Recorrido &recorrido)
{
    std::optional<qint32> sinCambiar;
    const qsizetype total = qsizetype(cambios.size());
    if (!bloques) {
        recorrido.recorrer(total, total, 1, [&](qsizetype i, qsizetype) {
            if (sinCambiar)
                return;
            const qint32 indice = cambios[std::size_t(i)];
            Revisiones::Posicion &p = r.posiciones[std::size_t(indice)];
            const QString posicion = textoDe(r, indice).toString();
            const UnidadLeida leida = ConsultarUnidad(oDAM, posicion);
            if (leida.encontrada)
                p.anterior = unidades.leida(leida.valor);
            const QString &unidad = r.unidades[p.pedida];
            if (filasCambiadas(oDAM, ActualizarUnidad(oDAM, posicion, unidad), posicion, unidad) <= 0)
                sinCambiar = indice;
        });
        return sinCambiar;
    }
    recorrido.recorrer(total, total, recorrido.filasPorTrozo, [&](qsizetype desde, qsizetype hasta) {
        if (sinCambiar)
            return;
        std::vector<std::pair<PositionKey, QString>> trozo;
        trozo.reserve(std::size_t(hasta - desde));
        for (qsizetype i = desde; i < hasta; ++i) {
            const qint32 p = cambios[std::size_t(i)];
            trozo.emplace_back(cortarPosicion(crudo(textoDe(r, p))), r.unidades[r.posiciones[std::size_t(p)].pedida]);
        }
        const std::vector<qlonglong> filas = bloques->actualizarUnidades(trozo);
        for (qsizetype i = desde; i < hasta && !sinCambiar; ++i)
            if (filas[std::size_t(i - desde)] <= 0)
                sinCambiar = cambios[std::size_t(i)];
    });
    return sinCambiar;
}

QList<Anotacion> anotaciones(const Componente &oDAM, const Revisiones &r, const std::vector<qint32> &cambios)
{
    // One commit, so one moment, user and machine for every row; asking the system
    // for them once per row cost more than the updates themselves.
    const Anotacion comun = nuevaAnotacion(direccionDe(oDAM), {}, {}, {}, QStringLiteral("lote"));
    QList<Anotacion> lista;
    lista.reserve(qsizetype(cambios.size()));
    for (const qint32 indice : cambios) {
        const Revisiones::Posicion &p = r.posiciones[std::size_t(indice)];
        Anotacion a = comun;
        // The list is gone before the batch's text is.
        a.posicion = crudo(textoDe(r, indice));
        a.anterior = r.unidades[p.anterior];
        a.nueva = r.unidades[p.pedida];
        lista.append(std::move(a));
    }
    return lista;
}

// While it lives, a request to stop may also stop the statement that is running.
class Cancelable {
public:
    explicit Cancelable(const Seguimiento &s) : s_(s) { s_.cancelable(true); }
    ~Cancelable() { terminar(); }
    Cancelable(const Cancelable &) = delete;
    Cancelable &operator=(const Cancelable &) = delete;
    void terminar() { s_.cancelable(false); }

private:
    const Seguimiento &s_;
};

// One try of --aplicar, all inside one transaction, which it leaves open only when
// it raises.
void intentar(Componente &oDAM, Transacciones &t, FilasEnBloque *bloques, const FilasLote &filas, Recorrido &recorrido,
              ResultadoLote &r)
{
    const Seguimiento &s = recorrido.seguimiento;
    Unidades unidades(r.revisiones.unidades);
    clasificar(filas, r.revisiones, unidades);
    const std::vector<qint32> posiciones = ordenarPorClave(r.revisiones);
    // Waiting to begin (another writer holds the SQLite file) may be stopped too.
    Cancelable cancelable(s);
    t.comenzarTransaccion();
    s.etapa(QStringLiteral("Revisadas"), filas.size());
    if (!leer(oDAM, bloques, r.revisiones, unidades, posiciones, true, recorrido)) {
        t.revertirTransaccion();
        r.fin = FinDeLote::Interrumpido;
        return;
    }
    decidir(r.revisiones);
    r.revisado = true;
    r.errores = contarErrores(r.revisiones);
    if (r.errores > 0) {
        t.revertirTransaccion();
        r.fin = FinDeLote::ConErrores;
        return;
    }

    std::vector<qint32> cambios = aCambiar(r.revisiones, posiciones);
    s.etapa(QStringLiteral("Guardadas"), qsizetype(cambios.size()));
    const std::optional<qint32> sinCambiar = actualizar(oDAM, bloques, r.revisiones, unidades, cambios, recorrido);
    // A request to stop that comes later finds the commit sent, and waits for it.
    cancelable.terminar();
    if (sinCambiar || recorrido.interrumpido || s.interrumpir()) {
        t.revertirTransaccion();
        r.fin = sinCambiar ? FinDeLote::SinCambiarFila : FinDeLote::Interrumpido;
        if (sinCambiar)
            r.sinCambiarFila = r.revisiones.posiciones[std::size_t(*sinCambiar)].fila;
        return;
    }
    t.confirmarTransaccion();
    r.fin = FinDeLote::Guardado;
    r.guardados = qsizetype(cambios.size());
    // The journal takes them in the file's order, as the user wrote them: positions
    // are numbered by the first row that names them.
    std::sort(cambios.begin(), cambios.end());
    r.avisoBitacora = anotarEnBitacora(anotaciones(oDAM, r.revisiones, cambios));
}

constexpr int kIntentos = 3;

ResultadoLote aplicar(Componente &oDAM, Transacciones &t, FilasEnBloque *bloques, const FilasLote &filas,
                      Recorrido &recorrido)
{
    for (int intento = 1;; ++intento) {
        ResultadoLote r;
        try {
            intentar(oDAM, t, bloques, filas, recorrido, r);
            return r;
        } catch (const ErrorDesenlaceIncierto &) {
            r.fin = FinDeLote::Incierto;
            return r;
        } catch (const ErrorComponente &e) {
            t.revertirTransaccion();
            // A request to stop stops the statement too: its failure is the stop.
            if (recorrido.seguimiento.interrumpir()) {
                r.fin = FinDeLote::Interrumpido;
                return r;
            }
            const auto *pasajera = dynamic_cast<const ErrorOcupado *>(&e);
            // A deadlock chose this transaction to stop; the same one a moment later
            // usually goes through.
            if (pasajera && pasajera->condicion() == CondicionPasajera::Interbloqueo && intento < kIntentos)
                continue;
            if (!r.revisado)
                throw;
            r.fin = FinDeLote::FalloDeBase;
            r.fallo = std::current_exception();
            return r;
        }
    }
}

} // namespace

ResultadoLote procesarLote(Componente &oDAM, const FilasLote &filas, const OpcionesDeLote &opciones,
                           const Seguimiento &seguimiento)
{
    auto *bloques = opciones.porFila ? nullptr : dynamic_cast<FilasEnBloque *>(&oDAM);
    if (bloques && !bloques->admiteBloques())
        bloques = nullptr;
    Recorrido recorrido{seguimiento, std::max<qsizetype>(1, opciones.filasPorTrozo)};
    if (opciones.aplicar) {
        auto *t = dynamic_cast<Transacciones *>(&oDAM);
        if (!t) {
            ResultadoLote r;
            r.fin = FinDeLote::SinTransacciones;
            return r;
        }
        return aplicar(oDAM, *t, bloques, filas, recorrido);
    }

    ResultadoLote r;
    Revisiones &revisiones = r.revisiones;
    Unidades unidades(revisiones.unidades);
    clasificar(filas, revisiones, unidades);
    // Looked up in the order of the rows that first name them.
    std::vector<qint32> orden(revisiones.posiciones.size());
    std::iota(orden.begin(), orden.end(), 0);
    seguimiento.etapa(QStringLiteral("Revisadas"), filas.size());
    bool leidasTodas = false;
    try {
        const Cancelable cancelable(seguimiento);
        leidasTodas = leer(oDAM, bloques, revisiones, unidades, orden, false, recorrido);
    } catch (const ErrorComponente &) {
        if (!seguimiento.interrumpir())
            throw;
    }
    if (!leidasTodas || seguimiento.interrumpir()) {
        r.fin = FinDeLote::Interrumpido;
        return r;
    }
    decidir(revisiones);
    r.revisado = true;
    r.errores = contarErrores(r.revisiones);
    return r;
}
