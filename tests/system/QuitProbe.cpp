// A process wired for quitting as beamwick is: a signal turns into a quit, the controller
// restores the light, and the settings store is flushed. It changes a setting right after start
// and then waits, so a test can check that the pending change survives a signal.
// Usage: quit_probe <service module> <settings file>
#include "control/LogoController.h"
#include "platform/JsonDefaultsStore.h"
#include "platform/UnixSignalQuit.h"
#include "platform/WillTerminate.h"

#include <QCoreApplication>
#include <cstdio>

namespace {

class NoTime final : public Clock {
public:
    TimePoint now() const override { return TimePoint(); }
};

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 3)
        return 2;
    UnixSignalQuit signalQuit;
    // A long coalescing delay: only the flush at quit can save the change.
    JsonDefaultsStore store(QString::fromLocal8Bit(argv[2]), 600000);
    NoTime clock;
    LogoController::Environment env;
    env.brightness = std::make_unique<Brightness>(argv[1]);
    env.meter = makeSystemAudioMeter();
    env.defaults = &store;
    env.clock = &clock;
    env.willTerminate = &WillTerminate::application();
    env.fileExists = [](const std::string&) { return false; };
    LogoController logo(std::move(env));
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &app, [&] { store.flush(); });

    logo.setBrightness(2.5);
    std::printf("ready\n");
    std::fflush(stdout);
    return QCoreApplication::exec();
}
