#include "Aplicacion.h"
#include "Mensajes.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    MensajesQt mensajes;
    return ejecutarTelquin(app, mensajes);
}
