// mode_soak: what a day of mode changes does to memory. Switches between Breathe and Steady a
// number of times to warm up, then many more, and prints the resident memory after each run:
//
//   mode_soak --remote PID [--warm-up N] [--changes M]   over the session bus, to the running
//                                                         Beamwick with that process id
//   mode_soak --panel [--warm-up N] [--changes M]        by clicking the mode selector of a panel
//                                                         shown in this process, over a controller
//                                                         on the test fakes
//
// Prints "warm-up-kb K" and "after-kb K" (VmRSS); exit status 1 when a change was refused.
#include "panel/MenuView.h"
#include "panel/SegmentedControl.h"
#include "remote/RemoteNames.h"
#include "testkit/fakes/ControllerRig.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>

namespace {

long long residentKb(const std::string& pid)
{
    std::ifstream status("/proc/" + pid + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stoll(line.substr(6));
    return -1;
}

// Runs `change` (given whether to choose Breathe) warm-up + changes times and prints the memory
// of `pid` after each part.
int soak(const std::string& pid, int warmUp, int changes, const std::function<bool(bool)>& change)
{
    for (int part = 0; part < 2; ++part) {
        const int count = part == 0 ? warmUp : changes;
        for (int i = 0; i < count; ++i) {
            if (!change(i % 2 == 0)) {
                std::fprintf(stderr, "mode_soak: change %d was refused\n", i);
                return 1;
            }
        }
        std::printf("%s %lld\n", part == 0 ? "warm-up-kb" : "after-kb", residentKb(pid));
    }
    return 0;
}

int overTheBus(const std::string& pid, int warmUp, int changes)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    return soak(pid, warmUp, changes, [&bus](bool breathe) {
        QDBusMessage set =
            QDBusMessage::createMethodCall(RemoteNames::busName, RemoteNames::objectPath,
                                           RemoteNames::propertiesInterface, QStringLiteral("Set"));
        set << QString::fromLatin1(RemoteNames::interface) << QStringLiteral("Mode")
            << QVariant::fromValue(
                   QDBusVariant(breathe ? QStringLiteral("Breathe") : QStringLiteral("Steady")));
        return bus.call(set).type() == QDBusMessage::ReplyMessage;
    });
}

int inThePanel(int warmUp, int changes)
{
    ControllerRig rig;
    auto logo = rig.make();
    MenuView panel(*logo);
    panel.show();
    QApplication::processEvents();
    return soak("self", warmUp, changes, [&](bool breathe) {
        // The segments follow LightMode's order: Steady, Breathe, Music.
        panel.modeSelector()->segment(breathe ? 1 : 0)->click();
        // The refresh is posted, and its repaint after it.
        QApplication::processEvents();
        QApplication::processEvents();
        return logo->mode() == (breathe ? LightMode::breathe : LightMode::steady);
    });
}

} // namespace

int main(int argc, char** argv)
{
    // The offscreen platform warns at every resize of the panel; 25 000 lines say nothing.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type == QtCriticalMsg || type == QtFatalMsg)
            std::fprintf(stderr, "%s\n", qPrintable(text));
    });
    std::string remotePid;
    bool panel = false;
    int warmUp = 5000;
    int changes = 20000;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--remote" && i + 1 < argc)
            remotePid = argv[++i];
        else if (arg == "--panel")
            panel = true;
        else if (arg == "--warm-up" && i + 1 < argc)
            warmUp = std::stoi(argv[++i]);
        else if (arg == "--changes" && i + 1 < argc)
            changes = std::stoi(argv[++i]);
        else {
            std::fprintf(stderr, "usage: mode_soak --remote PID | --panel [--warm-up N] "
                                 "[--changes M]\n");
            return 2;
        }
    }
    if (panel == !remotePid.empty()) {
        std::fprintf(stderr, "mode_soak: give one of --remote PID and --panel\n");
        return 2;
    }
    if (!panel) {
        // A client of the bus alone: no display needed.
        QCoreApplication app(argc, argv);
        return overTheBus(remotePid, warmUp, changes);
    }
    QApplication app(argc, argv);
    return inThePanel(warmUp, changes);
}
