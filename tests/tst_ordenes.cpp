// SPDX-License-Identifier: GPL-3.0-or-later
// The command line's commands run in-process, their standard output and standard
// error captured: usage errors, help, the outcomes of each command on the database
// TELQUIN_TEST_DB chooses (see BaseDePrueba.h), and the declarations the help, the
// completion and the manual page are made from. What needs a real process (signals,
// closed descriptors, pipes) is in tst_linea and tst_senales.

#include "BaseDePrueba.h"
#include "LecturaDeBitacora.h"
#include "archivos/Idioma.h"
#include "cli/Ayuda.h"
#include "cli/Linea.h"
#include "cli/Ordenes.h"
#include "dam/ComponenteDAM.h"
#include "dam/Direccion.h"

#include <QRegularExpression>
#include <QtTest>

#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace {

struct Corrida {
    int estado = -1;
    QString salida;
    QString error;
    bool puedeGuardar = false;
};

// A standard output that refuses every write, as a full disk does.
class DestinoLleno : public Destino {
public:
    [[nodiscard]] int escribir(QByteArrayView) override { return ENOSPC; }
};

// A signal as the handlers would have noted it: `pedida` from the start (it came
// before the commit), or only its number, told afterwards (it came after).
class InterrupcionFingida : public Interrupciones {
public:
    InterrupcionFingida(int senal, bool pedida) : senal_(senal), pedida_(pedida) { }
    [[nodiscard]] bool pedida() const override { return pedida_; }
    [[nodiscard]] int senal() const override { return senal_; }
    void cancelarCon(FilasEnBloque::Cancelacion) override { }
    void cancelarSentencia(bool) override { }

private:
    int senal_;
    bool pedida_;
};

// What the commands of the made-up declarations saw.
Pedido ultimoPedido;
QString ultimaOrden;

int registrar(Contexto &contexto, const Pedido &pedido, const QString &orden)
{
    ultimoPedido = pedido;
    ultimaOrden = orden;
    contexto.salida.linea({orden});
    return estado::kHecho;
}

// Commands unlike telquin's: one with an optional argument and two options, one
// sharing an option with it, one without any; one name alone and with a word, an
// option that takes a value, words that repeat.
std::vector<Orden> ordenesInventadas()
{
    Orden guardar{"guardar",
                  {},
                  {},
                  "guarda",
                  "Guarda.",
                  false,
                  [](Contexto &c, const Pedido &p) {
                      return registrar(c, p, "guardar"); }};
    Orden guardarTodo{"guardar",
                      {{"ARCHIVO", Clase::Archivo}, {"NOTAS", Clase::Texto, false, true}},
                      {{"max", "como mucho N", false, Argumento{"N", Clase::Texto}},
                       {"en", "en ese archivo", false, Argumento{"DESTINO", Clase::Archivo}}},
                      "guarda todo",
                      "Guarda todo.",
                      false,
                      [](Contexto &c, const Pedido &p) { return registrar(c, p, "guardar todo"); },
                      "todo"};
    return {
        {"probar",
         {{"ARCHIVO", Clase::Archivo}, {"NOTA", Clase::Unidad, true}},
         {{"seco", "no toca nada", false}, {"forzar", "guarda aunque dude", true}},
         "prueba una orden",
         "Primera línea\nsegunda línea.",
         false,
         [](Contexto &c, const Pedido &p) { return registrar(c, p, "probar"); }},
        {"medir",
         {},
         {{"seco", "mide sin guardar", false}},
         "mide",
         "Mide.",
         true,
         [](Contexto &c, const Pedido &p) { return registrar(c, p, "medir"); }},
        {"contar",
         {{"POSICION", Clase::Posicion}},
         {},
         "cuenta",
         "Cuenta.",
         false,
         [](Contexto &, const Pedido &) -> int {
             // A database failure names the argument declared a position.
             throw ErrorOcupado("ocupada", CondicionPasajera::EsperaAgotada);
         }},
        guardar,
        guardarTodo,
    };
}

// A section of a manual page: each .TP entry as its tag and its body, fonts, quotes
// and macros taken out.
struct Entrada {
    QString etiqueta;
    QString cuerpo;
};

// A line of roff as it reads: a font macro's arguments joined, with blanks for .B
// and .I, without them for those that alternate fonts (.BR, .BI...).
QString sinRoff(const QString &linea)
{
    static const QRegularExpression fuente(QStringLiteral("\\\\f[BIRP]"));
    static const QRegularExpression argumento(QStringLiteral("\"([^\"]*)\"|(\\S+)"));
    QString texto = linea;
    if (linea.startsWith(u'.')) {
        const QString macro = linea.section(u' ', 0, 0);
        QStringList argumentos;
        for (const auto &m : argumento.globalMatch(linea.mid(macro.size())))
            argumentos << (m.hasCaptured(1) ? m.captured(1) : m.captured(2));
        texto = argumentos.join(macro.size() == 2 ? QStringLiteral(" ") : QString());
    }
    texto.remove(fuente);
    texto.replace(QStringLiteral("\\-"), QStringLiteral("-"));
    return texto.simplified();
}

QList<Entrada> seccion(const QString &manual, const QString &nombre)
{
    QList<Entrada> entradas;
    const QStringList lineas = manual.split(u'\n');
    qsizetype i = lineas.indexOf(QStringLiteral(".SH ") + nombre);
    if (i < 0)
        return entradas;
    for (++i; i < lineas.size() && !lineas[i].startsWith(QStringLiteral(".SH")); ++i) {
        if (lineas[i] == QStringLiteral(".TP") && i + 1 < lineas.size())
            entradas.append({sinRoff(lineas[++i]), {}});
        else if (!entradas.isEmpty())
            entradas.last().cuerpo += sinRoff(lineas[i]) + u' ';
    }
    return entradas;
}

// What the manual page misses of the declarations, or names that they do not
// declare: commands with their arguments (COMMANDS), options (OPTIONS) and exit
// statuses (EXIT STATUS). Empty when they agree.
QStringList desacuerdos(const QString &manual, const std::vector<Orden> &ordenes)
{
    QStringList quejas;
    const QList<Entrada> comandos = seccion(manual, QStringLiteral("COMMANDS"));
    const QList<Entrada> opciones = seccion(manual, QStringLiteral("OPTIONS"));
    const QList<Entrada> estados = seccion(manual, QStringLiteral("\"EXIT STATUS\""));
    const auto etiquetada = [](const QList<Entrada> &entradas, const QString &etiqueta) {
        return std::find_if(entradas.begin(), entradas.end(), [&](const Entrada &e) { return e.etiqueta == etiqueta; });
    };
    // The command of that name and word, else the one of that name without a word.
    const auto declarada = [&](const QString &nombre, const QString &palabra) {
        const auto conPalabra = std::find_if(ordenes.begin(), ordenes.end(), [&](const Orden &o) {
            return o.nombre == nombre && !o.palabra.isEmpty() && o.palabra == palabra;
        });
        if (conPalabra != ordenes.end())
            return conPalabra;
        return std::find_if(ordenes.begin(), ordenes.end(),
                            [&](const Orden &o) { return o.nombre == nombre && o.palabra.isEmpty(); });
    };

    // "PALABRAS..." for the argument that repeats.
    const auto comoSeEscribe = [](const Argumento &a) {
        const QString n = a.repetido ? a.nombre + "..." : a.nombre;
        return a.opcional ? u'[' + n + u']' : n;
    };
    for (const Orden &o : ordenes) {
        QStringList palabras{o.titulo()};
        for (const Argumento &a : o.argumentos)
            palabras << comoSeEscribe(a);
        if (etiquetada(comandos, palabras.join(u' ')) == comandos.end())
            quejas << "COMMANDS no tiene «" + palabras.join(u' ') + "»";
        for (const OpcionDeOrden &d : o.opciones) {
            const auto e = etiquetada(opciones, nombreConValor(d));
            if (e == opciones.end())
                quejas << "OPTIONS no tiene «" + nombreConValor(d) + "»";
            else if (!e->cuerpo.contains(o.titulo()))
                quejas << "OPTIONS no dice que --" + d.nombre + " es de " + o.titulo();
        }
    }
    for (const OpcionGeneral &g : opcionesGenerales())
        if (etiquetada(opciones, nombresDeOpcion(g.nombres)) == opciones.end())
            quejas << "OPTIONS no tiene «" + nombresDeOpcion(g.nombres) + "»";

    // Every entry of COMMANDS is a command with its arguments and options of its own.
    for (const Entrada &e : comandos) {
        QStringList palabras = e.etiqueta.split(u' ');
        auto o = declarada(palabras.front(), palabras.value(1));
        if (o == ordenes.end()) {
            quejas << "COMMANDS nombra «" + palabras.front() + "», que no es una orden";
            continue;
        }
        palabras = palabras.mid(o->palabra.isEmpty() ? 1 : 2);
        QStringList argumentos;
        for (const Argumento &a : o->argumentos)
            argumentos << comoSeEscribe(a);
        for (qsizetype i = 0; i < palabras.size(); ++i) {
            const QString &p = palabras[i];
            const auto suya = std::find_if(o->opciones.begin(), o->opciones.end(),
                                           [&](const OpcionDeOrden &d) { return "--" + d.nombre == p; });
            if (p.startsWith(u'-') ? suya == o->opciones.end() : !argumentos.contains(p))
                quejas << "COMMANDS da a " + o->titulo() + " «" + p + "», que no declara";
            // The option's value follows it.
            else if (p.startsWith(u'-') && suya->valor && palabras.value(i + 1) == suya->valor->nombre)
                ++i;
        }
    }
    // And every option of OPTIONS is declared ("--" and "-" are the parser's own).
    for (const Entrada &e : opciones)
        for (const QString &escrito : e.etiqueta.split(QStringLiteral(", "))) {
            const QString nombre = escrito.section(u' ', 0, 0);
            if (nombre == u"--" || nombre == u"-")
                continue;
            bool existe = std::any_of(opcionesGenerales().begin(), opcionesGenerales().end(),
                                      [&](const OpcionGeneral &g) { return nombresDeOpcion(g.nombres) == e.etiqueta; });
            for (const Orden &o : ordenes)
                for (const OpcionDeOrden &d : o.opciones)
                    existe = existe || nombreConValor(d) == escrito;
            if (!existe)
                quejas << "OPTIONS nombra «" + nombre + "», que no es una opción";
        }

    // Statuses as sorted text: "0 1 2 3 4 5 6 129 130 143".
    const auto enOrden = [](QList<int> codigos) {
        std::sort(codigos.begin(), codigos.end());
        QStringList texto;
        for (const int n : codigos)
            texto << QString::number(n);
        return texto.join(u' ');
    };
    QList<int> enElManual;
    for (const Entrada &e : estados)
        for (const QString &n : e.etiqueta.split(QStringLiteral(", ")))
            enElManual << n.toInt();
    QList<int> declarados;
    for (const EstadoDeSalida &e : estadosDeSalida())
        declarados << e.codigos;
    if (enOrden(enElManual) != enOrden(declarados))
        quejas << "EXIT STATUS tiene " + enOrden(enElManual) + "; --help, " + enOrden(declarados);
    return quejas;
}

QString leerManual()
{
    QFile archivo(QStringLiteral(TELQUIN_MANUAL));
    if (!archivo.open(QIODevice::ReadOnly))
        qFatal("no se puede leer %s", TELQUIN_MANUAL);
    return QString::fromUtf8(archivo.readAll());
}

} // namespace

class TstOrdenes : public QObject {
    Q_OBJECT

    std::unique_ptr<BaseDePrueba> base;
    std::unique_ptr<QTemporaryDir> dir;
    QString url;

    QString rutaDeBitacora() const { return dir->filePath("estado/telquin/cambios.csv"); }

    // The command line on `argumentos` (without the program's name), what "-" reads
    // being `entrada`. `ajustar` changes the context before the run.
    Corrida correr(const QStringList &argumentos, const QByteArray &entrada = {},
                   const std::function<void(Contexto &)> &ajustar = {}, const std::vector<Orden> &ordenes = ::ordenes(),
                   Destino *destinoSalida = nullptr)
    {
        qputenv("DAM_DATABASE_URL", url.toUtf8());
        qputenv("XDG_STATE_HOME", dir->filePath("estado").toUtf8());
        QTemporaryFile archivoDeEntrada;
        if (!archivoDeEntrada.open() || archivoDeEntrada.write(entrada) != entrada.size() || !archivoDeEntrada.flush())
            qFatal("no se puede escribir la entrada");
        (void)::lseek(archivoDeEntrada.handle(), 0, SEEK_SET);
        DestinoEnMemoria salida;
        DestinoEnMemoria errores;
        Contexto contexto(destinoSalida ? *destinoSalida : salida, errores);
        contexto.entrada = archivoDeEntrada.handle();
        if (ajustar)
            ajustar(contexto);
        Corrida c;
        c.estado = ejecutarOrdenes(contexto, QStringList{"telquin"} + argumentos, ordenes);
        c.salida = QString::fromUtf8(salida.texto);
        c.error = QString::fromUtf8(errores.texto);
        c.puedeGuardar = contexto.puedeGuardar;
        return c;
    }

    QString archivo(const QByteArray &datos)
    {
        static int n = 0;
        const QString ruta = dir->filePath(QStringLiteral("lote-%1.csv").arg(++n));
        QFile f(ruta);
        if (!f.open(QIODevice::WriteOnly) || f.write(datos) != datos.size())
            qFatal("no se puede escribir %s", qPrintable(ruta));
        return ruta;
    }

    QStringList bitacora() { return lineasDeBitacora(rutaDeBitacora(), true); }

private slots:
    void initTestCase()
    {
        registrarComponenteDAM();
        // The option parser's own errors in Spanish, as the program has them.
        instalarTraduccionDeQt(*QCoreApplication::instance());
    }

    void init()
    {
        base = std::make_unique<BaseDePrueba>();
        dir = std::make_unique<QTemporaryDir>();
        url = base->url();
    }

    void cleanup()
    {
        base.reset();
        dir.reset();
    }

    // What a failure of the component looks like on standard error: headed by what kind
    // of failure it is, the component's words below, each line after the first
    // indented.
    void encabezadoDelFallo()
    {
        DestinoEnMemoria salida;
        DestinoEnMemoria errores;
        Contexto contexto(salida, errores);
        falloDeBase(contexto, ErrorDeConfiguracion("La dirección no es válida:\nfalta el puerto\n\nvea dam.conf"));
        contexto.puedeGuardar = true;
        falloDeBase(contexto, ErrorComponente("No existe la tabla NCM."));
        QCOMPARE(QString::fromUtf8(errores.texto),
                 QString("telquin: Error en la configuración.\n"
                         "  La dirección no es válida:\n"
                         "  falta el puerto\n"
                         "\n"
                         "  vea dam.conf\n"
                         "telquin: Falló la base de datos. No se guardó ningún cambio.\n"
                         "  No existe la tabla NCM.\n"));
        QCOMPARE(salida.texto, QByteArray());
    }

    void ordenes_data()
    {
        QTest::addColumn<QStringList>("argumentos");
        QTest::addColumn<int>("estado");
        QTest::addColumn<QString>("salida"); // what standard output holds, or a line of it
        QTest::addColumn<QString>("error"); // what standard error holds, or a part of it

        const QString pruebe = "\n  Pruebe «telquin --help» para más información.\n";
        QTest::newRow("ayuda") << QStringList{"--help"} << 0 << "Estados de salida:"
                               << "";
        QTest::newRow("ayuda corta") << QStringList{"consultar", "-h"} << 0 << "  130  Ctrl+C (SIGINT)"
                                     << "";
        QTest::newRow("version") << QStringList{"--version"} << 0 << "telquin 1.0.1\n"
                                 << "";
        QTest::newRow("version corta") << QStringList{"-v"} << 0 << "telquin 1.0.1\n"
                                       << "";
        QTest::newRow("falta la orden")
            << QStringList{} << 2 << ""
            << "telquin: falta la orden (consultar, cambiar, lote, historial, lista, buscar o conciliar)" + pruebe;
        QTest::newRow("orden desconocida") << QStringList{"borrar", "8901.10.00.000L"} << 2 << ""
                                           << "telquin: orden desconocida: «borrar»" + pruebe;
        QTest::newRow("opcion desconocida") << QStringList{"consultar", "--rapido", "8901.10.00.000L"} << 2 << ""
                                            << "telquin: opción desconocida: --rapido" + pruebe;
        QTest::newRow("falta un argumento")
            << QStringList{"cambiar", "8901.10.00.000L"} << 2 << ""
            << "telquin: faltan argumentos; uso: telquin cambiar POSICION UNIDAD" + pruebe;
        QTest::newRow("lote sin archivo")
            << QStringList{"lote", "--aplicar"} << 2 << ""
            << "telquin: faltan argumentos; uso: telquin lote ARCHIVO [--aplicar]" + pruebe;
        QTest::newRow("sobra un argumento") << QStringList{"consultar", "8901.10.00.000L", "07"} << 2 << ""
                                            << "telquin: sobran argumentos; uso: telquin consultar POSICION" + pruebe;
        QTest::newRow("historial con dos") << QStringList{"historial", "a", "b"} << 2 << ""
                                           << "telquin: sobran argumentos; uso: telquin historial [POSICION]" + pruebe;
        QTest::newRow("lista con otra palabra")
            << QStringList{"lista", "importa", "x"} << 2 << ""
            << "telquin: sobran argumentos; uso: telquin lista, o telquin lista importar ARCHIVO" + pruebe;
        QTest::newRow("lista importar sin archivo")
            << QStringList{"lista", "importar"} << 2 << ""
            << "telquin: faltan argumentos; uso: telquin lista, o telquin lista importar ARCHIVO" + pruebe;
        QTest::newRow("buscar sin palabras")
            << QStringList{"buscar", "--max", "3"} << 2 << ""
            << "telquin: faltan argumentos; uso: telquin buscar PALABRAS... [--max N]" + pruebe;
        QTest::newRow("aplicar fuera de un lote")
            << QStringList{"cambiar", "8901.10.00.000L", "05", "--aplicar"} << 2 << ""
            << "telquin: --aplicar solo vale para la orden lote" + pruebe;
        QTest::newRow("aplicar con historial") << QStringList{"--aplicar", "historial"} << 2 << ""
                                               << "telquin: --aplicar solo vale para la orden lote" + pruebe;
        QTest::newRow("lote que no existe") << QStringList{"lote", "/no/existe.csv"} << 2 << ""
                                            << "no se puede leer el archivo /no/existe.csv: no existe";
        QTest::newRow("opcion con valor") << QStringList{"lote", "-", "--aplicar=si"} << 2 << ""
                                          << "telquin: Valor inesperado tras «--aplicar».\n"
                                             "  Pruebe «telquin --help» para más información.\n";
        QTest::newRow("fin de las opciones")
            << QStringList{"consultar", "--", "8901.10.00.000L"} << 0 << "8901.10.00.000L\t07\tUNIDAD\n"
            << "";
        QTest::newRow("consultar") << QStringList{"consultar", "8901.10.00.000L"} << 0
                                   << "8901.10.00.000L\t07\tUNIDAD\n"
                                   << "";
        QTest::newRow("consultar sin unidad")
            << QStringList{"consultar", "9503.00.10.000B"} << 0 << "9503.00.10.000B\t\t\n"
            << "";
        QTest::newRow("consultar no encontrada") << QStringList{"consultar", "8901.10.00.000M"} << 1 << ""
                                                 << "telquin: Posicion Arancelaria No encontrada\n";
        QTest::newRow("consultar mal escrita") << QStringList{"consultar", "8901.10.00.0000"} << 1 << ""
                                               << "telquin: Formato de PA incorrecto (Ej. 8901.10.00.000L)\n";
        QTest::newRow("consultar texto hostil") << QStringList{"consultar", "8901.10.00.0'-L"} << 1 << ""
                                                << "telquin: Posicion Arancelaria No encontrada\n";
        QTest::newRow("cambiar no encontrada") << QStringList{"cambiar", "8901.10.00.000M", "05"} << 1 << ""
                                               << "telquin: Posicion Arancelaria No encontrada\n";
        QTest::newRow("cambiar unidad incorrecta")
            << QStringList{"cambiar", "8901.10.00.000L", "5'; DELETE FROM NCM; --"} << 1 << ""
            << "Verifique los datos antes de guardar";
        QTest::newRow("cambiar mal escrita") << QStringList{"cambiar", "8901.10.00.000", "05"} << 1 << ""
                                             << "Formato de PA incorrecto";
    }

    void ordenes()
    {
        QFETCH(QStringList, argumentos);
        QFETCH(int, estado);
        QFETCH(QString, salida);
        QFETCH(QString, error);
        const QStringList antes = base->filas();
        const Corrida c = correr(argumentos);
        QCOMPARE(c.estado, estado);
        if (salida.isEmpty())
            QCOMPARE(c.salida, QString());
        else if (salida.endsWith(u'\n'))
            QCOMPARE(c.salida, salida);
        else
            QVERIFY2(c.salida.contains(salida), qPrintable(c.salida));
        if (error.isEmpty())
            QCOMPARE(c.error, QString());
        else
            QVERIFY2(error.endsWith(u'\n') ? c.error == error : c.error.contains(error), qPrintable(c.error));
        QCOMPARE(base->filas(), antes);
        QCOMPARE(bitacora(), QStringList());
    }

    // The help's columns, as the declarations line them up.
    void ayudaEnColumnas()
    {
        const QString texto = ayuda(::ordenes());
        for (const char *linea : {"Uso:\n  telquin                               abre la ventana\n",
                                  "\n  telquin lote ARCHIVO [--aplicar]      revisa un lote de cambios (y lo guarda)\n",
                                  "\n  telquin historial [POSICION]          muestra el registro de cambios\n",
                                  "\n  telquin lista importar ARCHIVO        importa la lista oficial publicada\n",
                                  "\n  telquin buscar PALABRAS... [--max N]  busca posiciones en la lista oficial\n",
                                  "\n  telquin conciliar [--lote ARCHIVO]    compara la tabla con la lista oficial\n\n",
                                  "\n  lote            ARCHIVO es un CSV de dos columnas, posición y unidad,\n"
                                  "                  separadas por \",\" o \";\", en UTF-8; \"-\" lee la entrada\n",
                                  "\n  lista importar  ARCHIVO es el nomenclador publicado",
                                  "\nOpciones:\n  --aplicar       con lote: guarda los cambios revisados\n"
                                  "  --max N         con buscar: escribe hasta N posiciones (20 si no se da)\n"
                                  "  --lote ARCHIVO  con conciliar: escribe el lote de las unidades oficiales\n"
                                  "  -h, --help      muestra esta ayuda\n  -v, --version   muestra la versión\n\n",
                                  "\n  6    se perdió la conexión al confirmar y no se sabe si los cambios se\n"
                                  "       guardaron; no se anotó nada\n"
                                  "  130  Ctrl+C (SIGINT), 143 SIGTERM, 129 SIGHUP: antes de confirmar, detiene\n"})
            QVERIFY2(texto.contains(QString::fromUtf8(linea)), linea);
        QVERIFY(!texto.contains(QStringLiteral("palabras-de-completado")));
    }

    // Commands other than telquin's: what the command line says and runs follows the
    // declarations alone.
    void declaraciones_data()
    {
        QTest::addColumn<QStringList>("argumentos");
        QTest::addColumn<int>("estado");
        QTest::addColumn<QString>("error"); // its first line
        QTest::addColumn<QString>("corrio"); // the command that ran
        QTest::addColumn<QStringList>("pedido"); // its arguments, then its options
        QTest::addColumn<bool>("puedeGuardar");

        QTest::newRow("falta la orden") << QStringList{} << 2
                                        << "telquin: falta la orden (probar, medir, contar o guardar)"
                                        << "" << QStringList() << false;
        QTest::newRow("una orden de telquin") << QStringList{"lote", "x"} << 2 << "telquin: orden desconocida: «lote»"
                                              << "" << QStringList() << false;
        QTest::newRow("una opcion de telquin")
            << QStringList{"probar", "x", "--aplicar"} << 2 << "telquin: opción desconocida: --aplicar"
            << "" << QStringList() << false;
        QTest::newRow("faltan") << QStringList{"probar"} << 2
                                << "telquin: faltan argumentos; uso: telquin probar ARCHIVO [NOTA] [--seco] [--forzar]"
                                << "" << QStringList() << false;
        QTest::newRow("sobran") << QStringList{"medir", "x"} << 2
                                << "telquin: sobran argumentos; uso: telquin medir [--seco]"
                                << "" << QStringList() << false;
        QTest::newRow("opcion de otra") << QStringList{"medir", "--forzar"} << 2
                                        << "telquin: --forzar solo vale para la orden probar"
                                        << "" << QStringList() << false;
        QTest::newRow("opcion de otras dos")
            << QStringList{"contar", "x", "--seco"} << 2 << "telquin: --seco solo vale para las órdenes probar o medir"
            << "" << QStringList() << false;
        QTest::newRow("sin el opcional") << QStringList{"probar", "a"} << 0 << ""
                                         << "probar" << QStringList{"a"} << false;
        QTest::newRow("con el opcional y dos opciones")
            << QStringList{"--forzar", "probar", "a", "b", "--seco"} << 0 << ""
            << "probar" << QStringList{"a", "b", "--seco", "--forzar"} << true;
        QTest::newRow("la que siempre guarda") << QStringList{"medir", "--seco"} << 0 << ""
                                               << "medir" << QStringList{"--seco"} << true;
        const QString usosDeGuardar
            = "uso: telquin guardar, o telquin guardar todo ARCHIVO NOTAS... [--max N] [--en DESTINO]";
        QTest::newRow("el nombre solo") << QStringList{"guardar"} << 0 << ""
                                        << "guardar" << QStringList() << false;
        QTest::newRow("con la palabra, valores y palabras que se repiten")
            << QStringList{"guardar", "todo", "a", "x", "--max", "5", "--en=d.csv", "y"} << 0 << ""
            << "guardar todo" << QStringList{"a", "x", "y", "--max=5", "--en=d.csv"} << false;
        QTest::newRow("una palabra tras --") << QStringList{"guardar", "todo", "a", "--", "-x", "todo"} << 0 << ""
                                             << "guardar todo" << QStringList{"a", "-x", "todo"} << false;
        QTest::newRow("la palabra sin sus argumentos")
            << QStringList{"guardar", "todo", "a"} << 2 << "telquin: faltan argumentos; " + usosDeGuardar << ""
            << QStringList() << false;
        QTest::newRow("otra palabra") << QStringList{"guardar", "nada"} << 2
                                      << "telquin: sobran argumentos; " + usosDeGuardar << "" << QStringList() << false;
        QTest::newRow("opcion de la palabra sin ella")
            << QStringList{"guardar", "--max", "3"} << 2 << "telquin: --max solo vale para la orden guardar todo"
            << "" << QStringList() << false;
        QTest::newRow("valor que falta") << QStringList{"guardar", "todo", "a", "b", "--max"} << 2
                                         << "telquin: Falta valor tras «--max»."
                                         << "" << QStringList() << false;
        QTest::newRow("valor dos veces") << QStringList{"guardar", "todo", "a", "b", "--max", "1", "--max=2"} << 2
                                         << "telquin: --max se dio más de una vez"
                                         << "" << QStringList() << false;
        QTest::newRow("fallo con posicion") << QStringList{"contar", "8901.10.00.000L"} << 3
                                            << "telquin: Otro usuario está modificando la Ncm 8901.10.00.000L en este "
                                               "momento. Espere a que termine y vuelva a intentarlo."
                                            << "" << QStringList() << false;
    }

    void declaraciones()
    {
        QFETCH(QStringList, argumentos);
        QFETCH(int, estado);
        QFETCH(QString, error);
        QFETCH(QString, corrio);
        QFETCH(QStringList, pedido);
        QFETCH(bool, puedeGuardar);
        ultimaOrden.clear();
        ultimoPedido = {};
        const Corrida c = correr(argumentos, {}, {}, ordenesInventadas());
        QCOMPARE(c.estado, estado);
        QCOMPARE(c.error.section(u'\n', 0, 0), error);
        QCOMPARE(ultimaOrden, corrio);
        QCOMPARE(c.salida, corrio.isEmpty() ? QString() : corrio + u'\n');
        QStringList visto = ultimoPedido.argumentos;
        for (const QString &o : ultimoPedido.opciones)
            visto << "--" + o + (ultimoPedido.valores.contains(o) ? "=" + ultimoPedido.valor(o) : "");
        QCOMPARE(visto, pedido);
        QCOMPARE(c.puedeGuardar, puedeGuardar);
    }

    void ayudaYCompletadoDeLasDeclaraciones()
    {
        const QString texto = correr({"--help"}, {}, {}, ordenesInventadas()).salida;
        for (const char *linea :
             {"Uso:\n  telquin                                                         abre la ventana\n"
              "  telquin probar ARCHIVO [NOTA] [--seco] [--forzar]               prueba una orden\n"
              "  telquin medir [--seco]                                          mide\n"
              "  telquin contar POSICION                                         cuenta\n"
              "  telquin guardar                                                 guarda\n"
              "  telquin guardar todo ARCHIVO NOTAS... [--max N] [--en DESTINO]  guarda todo\n\n",
              "Órdenes:\n  probar        Primera línea\n                segunda línea.\n  medir         Mide.\n"
              "  contar        Cuenta.\n  guardar       Guarda.\n  guardar todo  Guarda todo.\n\n",
              "Opciones:\n  --seco         con probar: no toca nada\n  --forzar       con probar: guarda aunque dude\n"
              "  --seco         con medir: mide sin guardar\n  --max N        con guardar todo: como mucho N\n"
              "  --en DESTINO   con guardar todo: en ese archivo\n  -h, --help     muestra esta ayuda\n"})
            QVERIFY2(texto.contains(QString::fromUtf8(linea)), qPrintable(texto));
        QVERIFY(!texto.contains(QStringLiteral("consultar")));
        QCOMPARE(correr({"--palabras-de-completado"}, {}, {}, ordenesInventadas()).salida,
                 QString("opciones -h --help -v --version\n"
                         "orden probar --seco --forzar\n"
                         "archivo probar 1\n"
                         "orden medir --seco\n"
                         "orden contar\n"
                         "orden guardar\n"
                         "orden guardar todo --max --en\n"
                         "archivo guardar todo 1\n"
                         "valor --max\n"
                         "valor --en archivo\n"));
    }

    // The manual page names every command, argument, option and exit status that the
    // declarations give, and nothing else.
    void manualDeAcuerdo()
    {
        const QString manual = leerManual();
        QCOMPARE(desacuerdos(manual, ::ordenes()), QStringList());
    }

    // The check itself finds what a manual page left behind.
    void manualEnDesacuerdo_data()
    {
        QTest::addColumn<QString>("antes");
        QTest::addColumn<QString>("despues");
        QTest::addColumn<QStringList>("quejas");
        QTest::newRow("orden que no existe")
            << ".BR historial \" [\\fIPOSICION\\fR]\""
            << ".BR borrar \" [\\fIPOSICION\\fR]\""
            << QStringList{"COMMANDS no tiene «historial [POSICION]»", "COMMANDS nombra «borrar», que no es una orden"};
        QTest::newRow("argumento de menos")
            << ".BI cambiar \" POSICION UNIDAD\""
            << ".BI cambiar \" POSICION\"" << QStringList{"COMMANDS no tiene «cambiar POSICION UNIDAD»"};
        QTest::newRow("argumento de mas")
            << ".BI consultar \" POSICION\""
            << ".BI consultar \" POSICION FECHA\""
            << QStringList{"COMMANDS no tiene «consultar POSICION»", "COMMANDS da a consultar «FECHA», que no declara"};
        QTest::newRow("opcion cambiada") << ".TP\n.B \\-\\-aplicar\n"
                                         << ".TP\n.B \\-\\-rapido\n"
                                         << QStringList{"OPTIONS no tiene «--aplicar»",
                                                        "OPTIONS nombra «--rapido», que no es una opción"};
        QTest::newRow("opcion de otra orden") << ".BI lote \" ARCHIVO \" \\-\\-aplicar"
                                              << ".BI consultar \" POSICION \" \\-\\-aplicar"
                                              << QStringList{"COMMANDS da a consultar «--aplicar», que no declara"};
        QTest::newRow("version sin su forma corta")
            << ".BR \\-v \", \" \\-\\-version"
            << ".B \\-\\-version"
            << QStringList{"OPTIONS no tiene «-v, --version»", "OPTIONS nombra «--version», que no es una opción"};
        QTest::newRow("estado de mas") << ".TP\n.B 6\n"
                                       << ".TP\n.B 7\n"
                                       << QStringList{"EXIT STATUS tiene 0 1 2 3 4 5 7 129 130 143; --help, 0 1 2 3 4 "
                                                      "5 6 129 130 143"};
    }

    void manualEnDesacuerdo()
    {
        QFETCH(QString, antes);
        QFETCH(QString, despues);
        QFETCH(QStringList, quejas);
        QString manual = leerManual();
        QVERIFY2(manual.count(antes) == 1, qPrintable(antes));
        manual.replace(antes, despues);
        QCOMPARE(desacuerdos(manual, ::ordenes()), quejas);
    }

    // A standard output that cannot be written (a full disk): a change is stored, then
    // noted, then printed, so lost output never loses its line in the journal and is
    // never reported as success.
    void salidaLlena_data()
    {
        QTest::addColumn<QStringList>("argumentos");
        QTest::addColumn<bool>("registroRoto");
        QTest::addColumn<int>("estado");
        QTest::addColumn<QString>("error"); // how standard error ends; %1 is the journal's path
        QTest::addColumn<QStringList>("bitacoraEsperada"); // how each journal line starts

        const QStringList cambiar{"cambiar", "8901.10.00.000L", "05"};
        const QString lleno = "telquin: no se pudo escribir la salida: no queda espacio en el disco\n";
        const QString anotados = "  Los cambios están guardados y anotados en el registro.\n";
        QTest::newRow("cambiar") << cambiar << false << 5 << lleno + anotados
                                 << QStringList{"8901.10.00.000L 07 05 linea"};
        QTest::newRow("cambiar con el registro roto")
            << cambiar << true << 4
            << "telquin: El cambio se guardó en la base de datos, pero no se pudo anotar en el registro de cambios %1: "
               "es una carpeta, no un archivo\n"
                + lleno
            << QStringList{"error: es una carpeta"};
        QTest::newRow("lote aplicado") << QStringList{"lote", "-", "--aplicar"} << false << 5
                                       << "Cambios guardados: 1.\n" + lleno + anotados
                                       << QStringList{"8901.10.00.000L 07 05 lote"};
        QTest::newRow("consultar") << QStringList{"consultar", "8901.10.00.000L"} << false << 5 << lleno
                                   << QStringList();
        QTest::newRow("ayuda") << QStringList{"--help"} << false << 5 << lleno << QStringList();
        // The batch's lines are lost: status 5 says so, over its data problem.
        QTest::newRow("lote con errores") << QStringList{"lote", "-", "--aplicar"} << false << 5
                                          << "No se guardó ningún cambio.\n" + lleno << QStringList();
    }

    void salidaLlena()
    {
        QFETCH(QStringList, argumentos);
        QFETCH(bool, registroRoto);
        QFETCH(int, estado);
        QFETCH(QString, error);
        QFETCH(QStringList, bitacoraEsperada);
        if (registroRoto)
            QVERIFY(QDir().mkpath(rutaDeBitacora()));
        DestinoLleno lleno;
        const QByteArray lote = QTest::currentDataTag() == QByteArray("lote con errores") ? "8901.10.00.000M,05\n"
                                                                                          : "8901.10.00.000L,05\n";
        const Corrida c = correr(argumentos, lote, {}, ::ordenes(), &lleno);
        QCOMPARE(c.estado, estado);
        QCOMPARE(c.salida, QString());
        QVERIFY2(c.error.endsWith(error.contains(u"%1") ? error.arg(rutaDeBitacora()) : error), qPrintable(c.error));
        QCOMPARE(base->unidad("8901.10.00", "000", "L"), QString(bitacoraEsperada.isEmpty() ? "07" : "05"));
        const QStringList lineas = bitacora();
        QCOMPARE(lineas.size(), bitacoraEsperada.size());
        for (qsizetype i = 0; i < lineas.size(); ++i)
            QVERIFY2(lineas[i].startsWith(bitacoraEsperada[i]), qPrintable(lineas[i]));
    }

    // A signal before the commit stops the command with nothing stored; one that came
    // after it is told, with everything stored and noted, and gives its status all
    // the same.
    void senales_data()
    {
        QTest::addColumn<QStringList>("argumentos");
        QTest::addColumn<int>("senal");
        QTest::addColumn<bool>("antes");
        QTest::addColumn<int>("estado");
        QTest::addColumn<QString>("salida");
        QTest::addColumn<QString>("error"); // how standard error ends
        QTest::addColumn<QString>("unidad"); // of 8901.10.00.000L afterwards

        const QStringList cambiar{"cambiar", "8901.10.00.000L", "05"};
        const QStringList lote{"lote", "-", "--aplicar"};
        QTest::newRow("cambiar, Ctrl+C antes") << cambiar << SIGINT << true << 130 << ""
                                               << "telquin: Interrumpido. No se guardó ningún cambio.\n"
                                               << "07";
        QTest::newRow("cambiar, SIGTERM despues")
            << cambiar << SIGTERM << false << 143 << "8901.10.00.000L\t07\t05\n"
            << "telquin: SIGTERM llegó con el cambio ya enviado a la base de datos: quedó guardado y anotado.\n"
            << "05";
        QTest::newRow("lote, SIGHUP antes") << lote << SIGHUP << true << 129 << ""
                                            << "telquin: Interrumpido. No se guardó ningún cambio.\n"
                                            << "07";
        QTest::newRow("lote, Ctrl+C despues")
            << lote << SIGINT << false << 130 << "1\t8901.10.00.000L\t07\t05\tcambia\t\n"
            << "telquin: Ctrl+C llegó con los cambios ya enviados a la base de datos: quedaron guardados y anotados.\n"
               "telquin: Cambios guardados: 1.\n"
            << "05";
    }

    void senales()
    {
        QFETCH(QStringList, argumentos);
        QFETCH(int, senal);
        QFETCH(bool, antes);
        QFETCH(int, estado);
        QFETCH(QString, salida);
        QFETCH(QString, error);
        QFETCH(QString, unidad);
        const Corrida c = correr(argumentos, "8901.10.00.000L,05\n", [&](Contexto &contexto) {
            contexto.vigilar = [=] { return std::make_unique<InterrupcionFingida>(senal, antes); };
        });
        QCOMPARE(c.estado, estado);
        QCOMPARE(c.salida, salida);
        QVERIFY2(c.error.endsWith(error), qPrintable(c.error));
        QCOMPARE(base->unidad("8901.10.00", "000", "L"), unidad);
        QCOMPARE(bitacora().size(), unidad == u"05" ? 1 : 0);
    }

    void cambiarGuardaYAnota_data()
    {
        QTest::addColumn<QString>("posicion");
        QTest::addColumn<QString>("unidad");
        QTest::addColumn<QString>("anterior");
        QTest::addColumn<QString>("guardada");
        QTest::newRow("con unidad") << "0101.21.00.100W"
                                    << "5"
                                    << "09"
                                    << "05";
        QTest::newRow("sin unidad") << "9503.00.10.000B"
                                    << "07"
                                    << ""
                                    << "07";
    }

    void cambiarGuardaYAnota()
    {
        QFETCH(QString, posicion);
        QFETCH(QString, unidad);
        QFETCH(QString, anterior);
        QFETCH(QString, guardada);
        QStringList esperado = base->filas();
        const QString clave = posicion.left(10) + u'|' + posicion.mid(11, 3) + u'|' + posicion.mid(14);
        esperado.replace(esperado.indexOf(clave + u'|' + (anterior.isEmpty() ? "<null>" : anterior)),
                         clave + u'|' + guardada);

        const Corrida c = correr({"cambiar", posicion, unidad});
        QCOMPARE(c.estado, 0);
        QCOMPARE(c.salida, posicion + u'\t' + anterior + u'\t' + guardada + u'\n');
        QCOMPARE(base->filas(), esperado);
        // The journal names the database without its password.
        const QString linea = QStringList{posicion, anterior, guardada, "linea", leerDireccion(url).visible}.join(u' ');
        QCOMPARE(bitacora(), QStringList(linea));
        QCOMPARE(correr({"historial", posicion}).salida.count(u'\n'), 2);
    }

    // Batch files: any line end, and no more than 64 MiB, however they are read.
    void lotesLeidos_data()
    {
        QTest::addColumn<QString>("ruta"); // empty: a file holding datos; "disperso": 64 MiB and one byte
        QTest::addColumn<QByteArray>("datos");
        QTest::addColumn<int>("estado");
        QTest::addColumn<QString>("salida");
        QTest::addColumn<QString>("error"); // how standard error ends; %1 is the file's path
        QTest::addColumn<QString>("unidad"); // of 8901.10.00.000L afterwards

        QTest::newRow("solo CR, aplicado")
            << "" << QByteArray("posicion;unidad\r8901.10.00.000L;5\r0401.10.10.000U;05\r") << 0
            << "2\t8901.10.00.000L\t07\t05\tcambia\t\n"
               "3\t0401.10.10.000U\t05\t05\tigual\t\n"
            << "Cambios guardados: 1.\n"
            << "05";
        // The NUL would cut the statement short: such a value is never sent.
        QTest::newRow("NUL en una posicion y en una unidad")
            << "" << QByteArrayLiteral("8901.10.00.00\0L,09\n8901.10.00.000L,0\0009\n") << 1
            << "1\t8901.10.00.00?L\t\t09\tno encontrada\t\n"
               "2\t8901.10.00.000L\t07\t0?9\tunidad incorrecta\t\n"
            << "No se guardó ningún cambio.\n"
            << "07";
        QTest::newRow("archivo disperso de mas de 64 MiB") << "disperso" << QByteArray() << 2 << ""
                                                           << "telquin: %1: el lote supera los 64 MiB\n"
                                                           << "07";
        QTest::newRow("/dev/zero") << "/dev/zero" << QByteArray() << 2 << ""
                                   << "telquin: /dev/zero: el lote supera los 64 MiB\n"
                                   << "07";
    }

    void lotesLeidos()
    {
        QFETCH(QString, ruta);
        QFETCH(QByteArray, datos);
        QFETCH(int, estado);
        QFETCH(QString, salida);
        QFETCH(QString, error);
        QFETCH(QString, unidad);
        if (ruta.isEmpty())
            ruta = archivo(datos);
        if (ruta == u"disperso") {
            ruta = archivo({});
            QVERIFY(QFile::resize(ruta, 64 * 1024 * 1024 + 1));
        }
        const Corrida c = correr({"lote", ruta, "--aplicar"});
        QCOMPARE(c.estado, estado);
        QCOMPARE(c.salida, salida);
        QVERIFY2(c.error.endsWith(error.contains(u"%1") ? error.arg(ruta) : error), qPrintable(c.error));
        QCOMPARE(base->unidad("8901.10.00", "000", "L"), unidad);
    }

    // A journal line left without its end, with an open quote, hides none of the
    // changes after it; historial names it and says so in its status.
    void historialConLineaRota()
    {
        QVERIFY(QDir().mkpath(QFileInfo(rutaDeBitacora()).absolutePath()));
        QFile archivoDeBitacora(rutaDeBitacora());
        QVERIFY(archivoDeBitacora.open(QIODevice::WriteOnly));
        archivoDeBitacora.write("fecha,usuario,equipo,base,posicion,anterior,nueva,origen\n"
                                "2026-12-08T10:15:02-03:00,ana,puesto-7,x,0101.21.00.100W,01,09,linea\n"
                                "2026-12-08T10:16:02-03:00,ana,\"puesto-7,x,8901.10.00.000L,07,0");
        archivoDeBitacora.close();
        QCOMPARE(correr({"cambiar", "8901.10.00.000L", "05"}).estado, 0);

        const Corrida c = correr({"historial"});
        QCOMPARE(c.estado, 1);
        QCOMPARE(c.error,
                 "telquin: registro de cambios " + rutaDeBitacora()
                     + ": la línea 3 abre unas comillas que no se cierran\n");
        const QStringList lineas = c.salida.split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lineas.size(), 3);
        QVERIFY2(lineas[1].endsWith("\t0101.21.00.100W\t01\t09\tlinea"), qPrintable(lineas[1]));
        QVERIFY2(lineas[2].endsWith("\t8901.10.00.000L\t07\t05\tlinea"), qPrintable(lineas[2]));
    }

    // A journal line that does not read is told on standard error with its control
    // characters shown as "?", as standard output shows them: nothing of the file can
    // move the cursor, recolour or retitle the user's terminal.
    void historialConControles_data()
    {
        QTest::addColumn<QByteArray>("fecha"); // the date field of the line that does not read
        QTest::addColumn<QString>("dice");
        QTest::newRow("color") << QByteArray("\x1b[31mrojo\x1b[0m") << "?[31mrojo?[0m";
        QTest::newRow("título y campana") << QByteArray("\x1b]0;x\x07") << "?]0;x?";
        QTest::newRow("CSI de ocho bits") << QByteArray("\xc2\x9b"
                                                        "2J")
                                          << "?2J";
        QTest::newRow("retroceso y borrado") << QByteArray("ab\x08\x7f") << "ab??";
        QTest::newRow("tabulador y retorno") << QByteArray("\"a\tb\rc\"") << "a b c";
    }

    void historialConControles()
    {
        QFETCH(QByteArray, fecha);
        QFETCH(QString, dice);
        QVERIFY(QDir().mkpath(QFileInfo(rutaDeBitacora()).absolutePath()));
        QFile archivoDeBitacora(rutaDeBitacora());
        QVERIFY(archivoDeBitacora.open(QIODevice::WriteOnly));
        archivoDeBitacora.write("fecha,usuario,equipo,base,posicion,anterior,nueva,origen\n" + fecha
                                + ",ana,\x1b[2Jpuesto,x,0101.21.00.100W,01,09,linea\n"
                                  "2026-12-08T10:15:02-03:00,\x1b[2Jana,puesto,x,0101.21.00.100W,01,09,linea\n");
        archivoDeBitacora.close();

        const Corrida c = correr({"historial"});
        QCOMPARE(c.estado, 1);
        QCOMPARE(c.error,
                 "telquin: registro de cambios " + rutaDeBitacora()
                     + ": la línea 2 tiene una fecha que no se entiende: " + dice + "\n");
        QVERIFY2(c.salida.contains("\t?[2Jana\t"), qPrintable(c.salida));
    }

    // Only a command that could have stored anything says that nothing was stored.
    void baseQueFalla_data()
    {
        QTest::addColumn<QStringList>("argumentos");
        QTest::addColumn<bool>("guarda");
        QTest::newRow("consultar") << QStringList{"consultar", "8901.10.00.000L"} << false;
        QTest::newRow("cambiar") << QStringList{"cambiar", "8901.10.00.000L", "05"} << true;
        QTest::newRow("lote") << QStringList{"lote", "-", "--aplicar"} << true;
        QTest::newRow("lote sin aplicar") << QStringList{"lote", "-"} << false;
    }

    void baseQueFalla()
    {
        QFETCH(QStringList, argumentos);
        QFETCH(bool, guarda);
        const QByteArray lote = "8901.10.00.000L,05\n";
        const QString falta = dir->filePath("no-existe.sqlite");
        url = "sqlite:" + falta;
        Corrida c = correr(argumentos, lote);
        QCOMPARE(c.estado, 3);
        // The first line is the program's, the component's own follow it. An address
        // the user gave offers no sample database.
        QCOMPARE(c.error.section(u'\n', 0, 0),
                 QString(guarda ? "telquin: Falló la base de datos. No se guardó ningún cambio."
                                : "telquin: Falló la base de datos."));
        QCOMPARE(c.error.section(u'\n', 1),
                 "  No existe la base de datos " + falta + " (dirección " + url
                     + ", que da la variable DAM_DATABASE_URL). Si está en una carpeta compartida, compruebe que esté "
                       "montada.\n");

        // Another user holds the row (on SQLite, the file) past a wait of one second.
        url = base->url() + (base->esSqlite() || !base->url().contains(u'?') ? "?espera=1" : "&espera=1");
        if (url.startsWith("odbc:"))
            url = base->url() + ";espera=1";
        base->ejecutar(base->esSqlite() ? "BEGIN IMMEDIATE" : "BEGIN");
        base->ejecutar(textoDeUpdateCrudo("8901.10.00", "000", "L", "33"));
        c = correr(argumentos, lote);
        base->ejecutar("ROLLBACK");
        if (!guarda) {
            // Readers do not wait for a writer.
            QCOMPARE(c.estado, 0);
        } else {
            QCOMPARE(c.estado, 3);
            QVERIFY2(c.error.contains("telquin: Otro usuario está modificando "), qPrintable(c.error));
        }
        QCOMPARE(base->unidad("8901.10.00", "000", "L"), QString("07"));
        QCOMPARE(bitacora(), QStringList());
    }

    void loteAplicado()
    {
        // A row with an error: its line, the count of each outcome, status 1, nothing stored.
        const Corrida conError = correr({"lote", "-", "--aplicar"}, "8901.10.00.000M,05\n");
        QCOMPARE(conError.estado, 1);
        QCOMPARE(conError.salida,
                 QString("1\t8901.10.00.000M\t\t05\tno encontrada\tLa letra de control debería ser L\n"));
        // The summary is a record of its own, without the program's name.
        QCOMPARE(conError.error,
                 QString("cambia: 0\tigual: 0\tno encontrada: 1\tformato incorrecto: 0\tunidad incorrecta: 0\t"
                         "repetida: 0\n"
                         "telquin: 1 de las 1 filas tienen errores y el lote no se aplica. No se guardó ningún "
                         "cambio.\n"));

        QStringList esperado = base->filas();
        const auto cambiar = [&](const QString &fila, const QString &unidad) {
            const qsizetype i = esperado.indexOf(fila);
            QVERIFY2(i >= 0, qPrintable(fila));
            esperado[i] = fila.section(u'|', 0, 2) + u'|' + unidad;
        };
        cambiar("8901.10.00|000|L|07", "05");
        cambiar("9503.00.10|000|B|<null>", "07");
        cambiar("0101.21.00|100|X|09", "10");

        const QByteArray lote = "posicion,unidad\r\n"
                                "8901.10.00.000L,5\r\n"
                                "9503.00.10.000B,07\r\n"
                                "0401.10.10.000U,05\r\n"
                                "0101.21.00.100X,10\r\n"
                                "8901.10.00.000L,05\r\n";
        const Corrida c = correr({"lote", archivo(lote), "--aplicar"});
        QCOMPARE(c.estado, 0);
        QCOMPARE(c.salida,
                 QString("2\t8901.10.00.000L\t07\t05\tcambia\t\n"
                         "3\t9503.00.10.000B\t\t07\tcambia\t\n"
                         "4\t0401.10.10.000U\t05\t05\tigual\t\n"
                         "5\t0101.21.00.100X\t09\t10\tcambia\tLa letra de control debería ser W\n"
                         "6\t8901.10.00.000L\t07\t05\tcambia\t\n"));
        QVERIFY2(c.error.endsWith("\ntelquin: Cambios guardados: 3.\n"), qPrintable(c.error));
        QCOMPARE(base->filas(), esperado);
        const QString direccion = leerDireccion(url).visible;
        QCOMPARE(bitacora(),
                 (QStringList{"8901.10.00.000L 07 05 lote " + direccion, "9503.00.10.000B  07 lote " + direccion,
                              "0101.21.00.100X 09 10 lote " + direccion}));

        const QStringList historial = correr({"historial"}).salida.split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(historial.size(), 4);
        QCOMPARE(historial.front(), QString("fecha\tusuario\tequipo\tbase\tposicion\tanterior\tnueva\torigen"));
        QVERIFY2(historial.back().endsWith("\t0101.21.00.100X\t09\t10\tlote"), qPrintable(historial.back()));
    }

    // A unit column of integers: consultar shows the number as read and names it by
    // its two-digit code; lote stores through it, a chunk at a time, and journals the
    // units as read.
    void columnaEntera()
    {
        base->recrearConColumna("\"012\" INTEGER", "CAST(\"012\" AS INTEGER)");
        Corrida c = correr({"consultar", "8901.10.00.000L"});
        QCOMPARE(c.estado, 0);
        QCOMPARE(c.salida, QString("8901.10.00.000L\t7\tUNIDAD\n"));
        c = correr({"lote", "-", "--aplicar"}, "8901.10.00.000L,05\n9503.00.10.000B,01\n");
        QVERIFY2(c.estado == 0, qPrintable(c.error));
        QCOMPARE(base->unidadDe("8901.10.00.000L"), QString("5"));
        QCOMPARE(bitacora().filter(" lote ").size(), 2);
        QVERIFY2(bitacora().filter("8901.10.00.000L 7 05 lote").size() == 1, qPrintable(bitacora().join('\n')));
        QCOMPARE(correr({"consultar", "8901.10.00.000L"}).salida, QString("8901.10.00.000L\t5\tLITROS\n"));
    }

private:
    static QString textoDeUpdateCrudo(const QString &k1, const QString &k2, const QString &k3, const QString &u)
    {
        return QStringLiteral(R"(UPDATE NCM SET "012" = '%4' WHERE "001" = '%1' AND "002" = '%2' AND "003" = '%3')")
            .arg(k1, k2, k3, u);
    }
};

QTEST_GUILESS_MAIN(TstOrdenes)
#include "tst_ordenes.moc"
