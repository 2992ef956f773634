#include "app/Composition.h"
#include "app/QuitHandling.h"
#include "cli/CommandLine.h"
#include "cli/RemoteClient.h"
#include "cli/StatusReport.h"
#include "control/LogoController.h"
#include "panel/Translations.h"
#include "platform/JsonDefaultsStore.h"
#include "remote/RemoteService.h"
#include "shell/BeamwickApp.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>

namespace {

// Everything but a plain start: answered without a display, the service module or the light; only
// the control options, --get and --follow reach the running instance, over the session bus.
int answer(const CommandLine& command, int argc, char* argv[])
{
    QCoreApplication core(argc, argv);
    if (command.action() == CommandLine::Action::status) {
        const StatusReport report = StatusReport::ofThisSystem(JsonDefaultsStore::standardPath());
        std::fputs(qPrintable(report.text()), stdout);
        return report.exitCode();
    }
    switch (command.action()) {
    case CommandLine::Action::control:
        return RemoteClient().control(command.remote());
    case CommandLine::Action::get:
        return RemoteClient().get();
    case CommandLine::Action::follow:
        return RemoteClient().follow();
    default:
        break;
    }
    std::fputs(qPrintable(command.output()),
               command.action() == CommandLine::Action::error ? stderr : stdout);
    return command.exitCode();
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("beamwick"));
    QCoreApplication::setApplicationVersion(QStringLiteral(BEAMWICK_VERSION));
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLine command(arguments);
    if (command.action() != CommandLine::Action::run) {
        const int code = answer(command, argc, argv);
        // The answer is out and nothing is left to save. An ordinary exit would run the exit
        // handlers, and Qt's D-Bus thread, still reading the bus, may then meet types already
        // torn down and print a warning of its own after Beamwick's last line.
        std::fflush(nullptr);
        std::_Exit(code);
    }

    // In Music mode the main thread wakes for every block of audio, about 94 times a second;
    // Qt's own event dispatcher costs measurably less per wake-up than the GLib one, and
    // nothing here needs GLib's loop. A user's explicit choice still wins.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Beamwick"));
    QApplication::setDesktopFileName(QStringLiteral("org.beamwick.Beamwick"));

    Translations::install(app);
    // Declared in this order so that they go in the reverse: the controller (in the shell)
    // first, the platform it borrows from after it, and all of them before the application.
    Composition composition;
    QuitHandling quitting(composition.willTerminate(), composition.settings());
    BeamwickApp beamwick([&composition] { return composition.makeController(); });
    if (!beamwick.start())
        return 0;
    // Only the instance that holds the single-instance lock answers on the session bus.
    JsonDefaultsStore& settings = composition.settings();
    RemoteService remote(
        beamwick.logo(),
        {.activate = [&beamwick] { beamwick.showPanel(); },
         .quit = [] { QCoreApplication::quit(); },
         .save = [&settings] { return settings.flush() ? QString() : settings.saveError(); }});
    remote.publish();
    return quitting.exec();
}
