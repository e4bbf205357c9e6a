#include "Aplicacion.h"
#include "Linea.h"
#include "Mensajes.h"

#include <QApplication>

int main(int argc, char **argv)
{
    if (argc > 1)
        return ejecutarLinea(argc, argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Telquin"));
    QApplication::setApplicationVersion(QStringLiteral(TELQUIN_VERSION));
    cargarTraducciones(app);
    MensajesQt mensajes;
    return ejecutarTelquin(app, mensajes);
}
