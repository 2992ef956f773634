#pragma once

#include "app/BeamwickApp.h"
#include "tests/app/PanelFixture.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTimer>

// A BeamwickApp over a faked controller, with its single-instance files in a private directory.
// It opens its window at once where there is no tray, unless a test gives it time to wait.
class ShellTest : public ::testing::Test {
protected:
    std::unique_ptr<BeamwickApp> makeApp(std::chrono::milliseconds trayGrace = {})
    {
        auto app = std::make_unique<BeamwickApp>(
            [this] {
                ++controllersMade;
                return rig.make();
            },
            runtime.path());
        app->setTrayGrace(trayGrace);
        return app;
    }

    // The factory table written back when the application quits, as the real quit notice does.
    void forwardQuitNotice()
    {
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, &rig.willTerminate,
                         &WillTerminate::post);
    }

    // Runs the application's event loop until something quits it; 1 if the watchdog had to.
    static int runUntilQuit(const std::function<void()>& action)
    {
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(1); });
        watchdog.start(10000);
        QTimer::singleShot(0, action);
        return QCoreApplication::exec();
    }

    std::size_t restores() const { return rig.service.writesOf(FakeService::tableKey).size(); }

    ControllerRig rig;
    QTemporaryDir runtime;
    int controllersMade = 0;
};
