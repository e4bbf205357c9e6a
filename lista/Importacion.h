// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The import of the published list into the local index: the text file, or the zip
// as published. The new index is written beside the old one and renamed over it, so
// that a failed, interrupted or concurrent import never leaves a half-written list:
// the previous one stays in use until the new one is whole.

#include "lista/ListaOficial.h"

#include <QByteArrayView>
#include <QList>

#include <functional>

// The largest file taken, and the largest list inside a zip.
inline constexpr qint64 kListaMaxima = qint64(256) * 1024 * 1024;

struct SeguimientoDeImportacion {
    // Lines read, of how many.
    std::function<void(qint64 hechas, qint64 total)> avance;
    // Asked between lines; true stops the import, the previous list untouched.
    std::function<bool()> interrumpir;
};

// An import stopped by the user; nothing changed.
class ImportacionInterrumpida : public ErrorDeLista {
public:
    ImportacionInterrumpida() : ErrorDeLista("Interrumpido.") { }
};

struct Importada {
    DatosDeLista datos;
    QList<qint64> ilegibles; // the numbers of the first unreadable lines, ten at most
};

// Reads the file (text or zip) and puts its list in place of the index at `destino`,
// making its folder when missing. ErrorDeLista, in Spanish, naming the file, when it
// cannot be read or holds no line of the list; then `destino` is as it was.
[[nodiscard]] Importada importarLista(const QString &archivo, const QString &destino,
                                      const SeguimientoDeImportacion &seguimiento = {});

// The date of a list from its file's name ("nomenclador_14062026.txt": DDMMAAAA);
// invalid when the name has none.
[[nodiscard]] QDate fechaDelNombre(const QString &nombre);
