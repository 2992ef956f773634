#include "app/BeamwickApp.h"
#include "app/Translations.h"
#include "platform/JsonDefaultsStore.h"
#include "platform/UnixSignalQuit.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    // In Music mode the main thread wakes for every block of audio, about 94 times a second;
    // Qt's own event dispatcher costs measurably less per wake-up than the GLib one, and
    // nothing here needs GLib's loop. A user's explicit choice still wins.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
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
