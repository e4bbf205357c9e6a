#pragma once

#include <QString>

class QWidget;

// Every message box of the program goes through this interface: QMessageBox in the
// program, a scripted stand-in in tests.
class Mensajes {
public:
    enum class Icono { Ninguno, Informacion, Critico };

    virtual ~Mensajes() = default;
    // Yes/No question; true when the answer is Yes.
    virtual bool preguntarSiNo(const QString &titulo, const QString &texto, Icono icono, bool noPorDefecto) = 0;
    // A box with an OK button; returns when it has been closed.
    virtual void mostrar(const QString &titulo, const QString &texto, Icono icono) = 0;
};

class MensajesQt final : public Mensajes {
public:
    explicit MensajesQt(QWidget *padre = nullptr) : padre_(padre) {}
    void setPadre(QWidget *padre) { padre_ = padre; }
    bool preguntarSiNo(const QString &titulo, const QString &texto, Icono icono, bool noPorDefecto) override;
    void mostrar(const QString &titulo, const QString &texto, Icono icono) override;

private:
    QWidget *padre_;
};
