// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The published list's text, one record a line, fields separated by "@":
//   2@5408.22.00.111F @000.00@...@01@  @       De densidad inferior o igual a 30 hilos
// field 1 the record type, 2 the code, 9 the statistical unit, 11 to the end the
// description. Each line is UTF-8 when it is valid UTF-8, else Windows-1252.

#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <vector>

enum class TipoDeLinea {
    Posicion, // a full position: "5408.22.00.111F"
    Encabezado, // a heading above positions: "63.05", "6305.32.00.1"
    OtroTipo, // a record of another type, which belongs to another file of the list
    Vacia, // blanks only
    Ilegible,
};

struct LineaDeLista {
    TipoDeLinea tipo = TipoDeLinea::Ilegible;
    QString codigo; // as written, without its blanks
    QString digitos; // the code's digits, dots removed
    QString unidad; // without its blanks; empty when blank
    QString descripcion;
};

// One line, without its end.
[[nodiscard]] LineaDeLista leerLineaDeLista(QByteArrayView linea);

// The text of a line: UTF-8 when it is valid, else Windows-1252.
[[nodiscard]] QString decodificarLinea(QByteArrayView linea);

// A description as the list means it: tabs and runs of blanks made one blank, the
// blanks and dashes that show its depth taken from its start, "<<" and ">>" made
// guillemets.
[[nodiscard]] QString limpiarDescripcion(QStringView texto);

// The lines of a text, ended by LF, CRLF or CR; the last one may have no end.
class DivisorDeLineas {
public:
    explicit DivisorDeLineas(QByteArrayView texto) : texto_(texto) { }
    // The next line and its number (from 1); false at the end.
    bool siguiente(QByteArrayView &linea, qint64 &numero);
    // How far it has read, in bytes.
    [[nodiscard]] qsizetype leido() const { return posicion_; }

private:
    QByteArrayView texto_;
    qsizetype posicion_ = 0;
    qint64 numero_ = 0;
};

// The headings above the line being read: each heading replaces those that do not
// hold it, and a position lies under those whose digits start its own.
class CaminoDeEncabezados {
public:
    void encabezado(const QString &digitos, const QString &texto);
    // The texts of the headings above the position, outermost first.
    [[nodiscard]] QStringList sobre(const QString &digitos);

private:
    void cerrarHasta(const QString &digitos, bool incluidoElIgual);

    struct Nivel {
        QString digitos;
        QString texto;
    };
    std::vector<Nivel> niveles_;
};
