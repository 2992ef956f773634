// A process wired for quitting as beamwick is, through the same composition and quit handling:
// a signal turns into a quit, the controller restores the light, and the settings are saved.
// It changes a setting right after start and then waits, so a test can check that the pending
// change survives a signal.
// Usage: quit_probe <service module> <settings file>
#include "app/Composition.h"
#include "app/QuitHandling.h"
#include "control/LogoController.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 3)
        return 2;
    // A long delay before saving: only the save at quit can keep the change.
    Composition composition({.settingsFile = QString::fromLocal8Bit(argv[2]),
                             .settingsSaveDelayMs = 600000,
                             .serviceModule = argv[1]});
    QuitHandling quitting(composition.willTerminate(), composition.settings());
    const auto logo = composition.makeController();

    logo->setBrightness(2.5);
    std::printf("ready\n");
    std::fflush(stdout);
    return quitting.exec();
}
