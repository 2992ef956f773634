#include "app/BeamwickApp.h"
#include "app/Translations.h"
#include "platform/JsonDefaultsStore.h"
#include "platform/UnixSignalQuit.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("beamwick"));
    QApplication::setApplicationDisplayName(QStringLiteral("Beamwick"));
    QApplication::setDesktopFileName(QStringLiteral("beamwick"));
    QApplication::setQuitOnLastWindowClosed(false);

    Translations::install(app);
    UnixSignalQuit signalQuit;
    BeamwickApp beamwick;
    if (!beamwick.start())
        return 0;
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &app,
                     [] { JsonDefaultsStore::standard().flush(); });
    return QApplication::exec();
}
