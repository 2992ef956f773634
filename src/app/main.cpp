#include "control/LogoController.h"
#include "platform/JsonDefaultsStore.h"
#include "platform/UnixSignalQuit.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("beamwick"));
    QApplication::setApplicationDisplayName(QStringLiteral("Beamwick"));
    QApplication::setQuitOnLastWindowClosed(false);

    UnixSignalQuit signalQuit;
    LogoController logo;
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &app,
                     [] { JsonDefaultsStore::standard().flush(); });
    return QApplication::exec();
}
