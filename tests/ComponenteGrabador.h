// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A test component that records every call made on it and answers from a script.

#include "data/Contrato.h"

#include <QStringList>

#include <functional>
#include <optional>

struct GuionGrabador {
    // What crearrs answers, and what it leaves in its argument.
    enum class Recordset { Llenar, Reemplazar, Vaciar, NoTocar };
    QVariant respuestaCrearrs = true;
    Recordset recordset = Recordset::Llenar;
    QVariant valor012 = QStringLiteral("07");
    QVariant respuestaEjecutar = 1;
    bool errorEnLoad = false;
    bool errorEnSentencia = false;
    // Ejecutar raises ErrorOcupado with this condition.
    std::optional<CondicionPasajera> pasajeraEnEjecutar;
    // Runs inside Ejecutar, before it answers.
    std::function<void()> alEjecutar;
};

class ComponenteGrabador final : public Componente {
public:
    explicit ComponenteGrabador(GuionGrabador guion = {}) : guion_(std::move(guion)) { ++vivos(); }
    ~ComponenteGrabador() override
    {
        --vivos();
        llamadas() << QStringLiteral("liberado");
    }

    // Calls of every instance, in order: "load", "pedir NCM #n", "SQL #n: ...",
    // "soltar #n", "crearrs #n: ...", "Ejecutar #n: ...", "liberado".
    static QStringList &llamadas()
    {
        static QStringList r;
        return r;
    }
    static int &vivos()
    {
        static int n = 0;
        return n;
    }

    GuionGrabador &guion() { return guion_; }

    void loadparameters() override
    {
        llamadas() << QStringLiteral("load");
        if (guion_.errorEnLoad)
            throw ErrorComponente(QStringLiteral("Fallo de prueba al cargar los parámetros."));
    }

    std::unique_ptr<Conexion> getDataConnectionByEntity(const QString &entidad) override
    {
        const int id = ++conexiones_;
        llamadas() << QStringLiteral("pedir %1 #%2").arg(entidad).arg(id);
        return std::make_unique<ConexionGrabadora>(*this, entidad, id);
    }

private:
    class ConexionGrabadora final : public Conexion {
    public:
        ConexionGrabadora(ComponenteGrabador &c, QString entidad, int id) : c_(c), entidad_(std::move(entidad)), id_(id)
        {
        }
        ~ConexionGrabadora() override { llamadas() << QStringLiteral("soltar #%1").arg(id_); }

        void setSQL(const QString &sentencia) override
        {
            llamadas() << QStringLiteral("SQL #%1: %2").arg(id_).arg(sentencia);
            c_.sql_[entidad_] = sentencia;
        }
        QString SQL() const override { return c_.sql_.value(entidad_); }

        QVariant crearrs(std::unique_ptr<Recordset> &rs) override
        {
            llamadas() << QStringLiteral("crearrs #%1: %2").arg(id_).arg(SQL());
            if (c_.guion_.errorEnSentencia)
                throw ErrorComponente(QStringLiteral("Fallo de prueba en la sentencia."));
            using R = GuionGrabador::Recordset;
            switch (c_.guion_.recordset) {
            case R::Llenar:
                rs->ponerFila({{QStringLiteral("012"), c_.guion_.valor012}});
                break;
            case R::Reemplazar:
                rs = std::make_unique<Recordset>();
                rs->ponerFila({{QStringLiteral("012"), c_.guion_.valor012}});
                break;
            case R::Vaciar:
                rs.reset();
                break;
            case R::NoTocar:
                break;
            }
            return c_.guion_.respuestaCrearrs;
        }

        QVariant Ejecutar() override
        {
            llamadas() << QStringLiteral("Ejecutar #%1: %2").arg(id_).arg(SQL());
            if (c_.guion_.alEjecutar)
                c_.guion_.alEjecutar();
            if (c_.guion_.pasajeraEnEjecutar)
                throw ErrorOcupado(QStringLiteral("Condición pasajera de prueba."), *c_.guion_.pasajeraEnEjecutar);
            if (c_.guion_.errorEnSentencia)
                throw ErrorComponente(QStringLiteral("Fallo de prueba en la sentencia."));
            return c_.guion_.respuestaEjecutar;
        }

    private:
        ComponenteGrabador &c_;
        QString entidad_;
        int id_;
    };

    GuionGrabador guion_;
    QHash<QString, QString> sql_;
    int conexiones_ = 0;
};
