#include "Aplicacion.h"
#include "Mensajes.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Telquin"));
    QApplication::setApplicationVersion(QStringLiteral(TELQUIN_VERSION));
    cargarTraducciones(app);
    MensajesQt mensajes;
    return ejecutarTelquin(app, mensajes);
}
