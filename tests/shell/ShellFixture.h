#pragma once

#include "shell/BeamwickApp.h"
#include "testkit/support/EventLoop.h"
#include "tests/panel/PanelFixture.h"

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

    std::size_t restores() const { return rig.service.writesOf(FakeService::tableKey).size(); }

    ControllerRig rig;
    QTemporaryDir runtime;
    int controllersMade = 0;
};
