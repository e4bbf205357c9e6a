// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The command line's commands, each declared in a file of its own, and what they
// share. A declaration (Orden) is all the command line knows of a command: the
// parser, the usage errors, --help and the words of the bash completion come from it.
// Each command returns its exit status (see Linea.h).

#include "cli/Salida.h"
#include "cli/Terminal.h"
#include "data/Contrato.h"
#include "lista/ListaOficial.h"
#include "operaciones/Lote.h"

#include <QString>
#include <QStringList>

#include <QMap>

#include <functional>
#include <memory>
#include <optional>
#include <unistd.h>
#include <vector>

// The registered component, with its parameters loaded.
[[nodiscard]] std::unique_ptr<Componente> abrirComponente();

// What a command runs with: where its output and messages go, what it reads as "-",
// the component, what stops it, and the state of its changes. The program makes one
// on its standard descriptors; a test, one on buffers.
struct Contexto {
    Contexto(Destino &destinoSalida, Destino &destinoErrores) : salida(destinoSalida), errores(destinoErrores) { }

    Salida salida;
    Destino &errores;
    int entrada = STDIN_FILENO;
    std::function<std::unique_ptr<Componente>()> componente = abrirComponente;
    // The official list in use, or none.
    std::function<std::unique_ptr<ListaOficial>()> lista = ListaOficial::enUso;
    // Made when a command starts the work that a signal may stop.
    std::function<std::unique_ptr<Interrupciones>()> vigilar = [] { return std::make_unique<Interrupcion>(); };
    // Whether a batch may draw its progress line on standard error.
    bool conProgreso = false;
    // Whether the command that runs may store changes (cambiar, lote --aplicar): only
    // then does a failure add that nothing was stored.
    bool puedeGuardar = false;
    // Whether its changes are stored and noted in the journal, as a failed standard
    // output then says.
    bool guardadosYAnotados = false;
};

// What an argument names: the completion offers files for an Archivo (or "-", standard
// input), and a database failure names the Posicion. A Texto is free words.
enum class Clase { Posicion, Unidad, Archivo, Texto };

struct Argumento {
    QString nombre; // as the usage shows it: POSICION
    Clase clase;
    bool opcional = false;
    // The last argument only: it takes every word left ("PALABRAS...").
    bool repetido = false;
};

struct OpcionDeOrden {
    QString nombre; // without the dashes: aplicar
    QString ayuda; // after "con ORDEN: " in --help
    // Given, the command stores changes.
    bool guarda = false;
    // The value it takes ("--max N"), none for an option that is only given or not. An
    // option's name means the same in every command: with a value in all or in none.
    std::optional<Argumento> valor = std::nullopt;
};

struct Orden;

// A command as the user gave it.
struct Pedido {
    QStringList argumentos; // without the command's name
    QStringList opciones; // the command's options given, by name
    QMap<QString, QString> valores; // of the options that take one, by name
    [[nodiscard]] bool tiene(const QString &opcion) const { return opciones.contains(opcion); }
    [[nodiscard]] QString valor(const QString &opcion) const { return valores.value(opcion); }
    // The argument of that class, or an empty text.
    [[nodiscard]] QString de(const Orden &orden, Clase clase) const;
};

struct Orden {
    QString nombre;
    std::vector<Argumento> argumentos; // the optional ones last
    std::vector<OpcionDeOrden> opciones;
    QString resumen; // its line of the usage, lower case
    QString ayuda; // its paragraph under "Órdenes:", lines of 64 characters at most
    // Stores changes whatever its options.
    bool guarda = false;
    int (*ejecutar)(Contexto &contexto, const Pedido &pedido) = nullptr;
    // The word after the name that chooses this command ("importar" of "lista
    // importar ARCHIVO"); several commands share a name, one of them may have none.
    QString palabra = {};

    // "lista importar", or the name alone.
    [[nodiscard]] QString titulo() const;
    // "lote ARCHIVO [--aplicar]"
    [[nodiscard]] QString uso() const;
    [[nodiscard]] qsizetype minimo() const;
    [[nodiscard]] qsizetype maximo() const;
    [[nodiscard]] bool guardaCon(const Pedido &pedido) const;
};

// The commands, in the order --help lists them.
[[nodiscard]] const std::vector<Orden> &ordenes();

// One function per command file.
[[nodiscard]] Orden ordenConsultar();
[[nodiscard]] Orden ordenCambiar();
[[nodiscard]] Orden ordenLote();
[[nodiscard]] Orden ordenHistorial();
[[nodiscard]] Orden ordenLista();
[[nodiscard]] Orden ordenListaImportar();
[[nodiscard]] Orden ordenBuscar();
[[nodiscard]] Orden ordenConciliar();

inline const QString kNadaGuardado = QStringLiteral("No se guardó ningún cambio.");
// What the commands that read the official list say when none was imported.
inline const QString kSinLista
    = QStringLiteral("No hay ninguna lista oficial importada. Impórtela con: telquin lista importar ARCHIVO");
// The start of every message on standard error; a message's later lines (the
// component's own text, say) go without it.
inline const QString kPrefijo = QStringLiteral("telquin: ");

// " No se guardó ningún cambio." after a command that may store; empty after one that
// only reads.
[[nodiscard]] QString nadaGuardado(const Contexto &contexto);

// A message on standard error, after what standard output holds.
void avisar(Contexto &contexto, const QString &mensaje);
// A usage error: the message, the hint of --help, and status 2.
int errorDeUso(Contexto &contexto, const QString &mensaje);
// A failure of the database, told as the window tells it, of the position when the
// command names one (none for a batch); status 3.
int falloDeBase(Contexto &contexto, const ErrorComponente &error, const QString &posicion = {});

// The list in use, for a command that cannot work without one; none when there is
// none or it cannot be read, and the message already on standard error.
[[nodiscard]] std::unique_ptr<ListaOficial> listaNecesaria(Contexto &contexto);

// A batch's stages and progress drawn by `progreso`, and its stop asked through
// `interrupcion`, which also cancels the running statement when the component can.
[[nodiscard]] Seguimiento seguimientoDe(Progreso &progreso, Interrupciones &interrupcion, Componente &oDAM);
