#include "panel/SwitchToggle.h"
#include "testkit/support/EventLoop.h"
#include "tests/shell/ShellFixture.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QLocalServer>
#include <QProcess>
#include <QSystemTrayIcon>

TEST_F(ShellTest, WithoutATrayThePanelOpensAsAWindowOverOneController)
{
    ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable());
    auto app = makeApp();
    EXPECT_EQ(controllersMade, 0);
    ASSERT_TRUE(app->start());
    EXPECT_EQ(controllersMade, 1);
    EXPECT_FALSE(app->usesTray());
    ASSERT_NE(app->panel(), nullptr);
    EXPECT_TRUE(app->panel()->isVisible());
    EXPECT_EQ(app->panel()->windowTitle(), QStringLiteral("Beamwick"));
    EXPECT_EQ(app->panel()->windowType(), Qt::Window);
    EXPECT_EQ(&app->panel()->logo(), &app->logo());

    for (int i = 0; i < 10; ++i)
        app->showPanel();
    EXPECT_EQ(controllersMade, 1);
}

TEST_F(ShellTest, WaitsForATrayBeforeOpeningTheWindowUnlessAskedForThePanel)
{
    using namespace std::chrono_literals;
    auto app = makeApp(400ms);
    QElapsedTimer sinceStart;
    sinceStart.start();
    ASSERT_TRUE(app->start());
    EXPECT_EQ(app->panel(), nullptr);
    ASSERT_TRUE(spinUntil([&] { return app->panel() && app->panel()->isVisible(); }));
    EXPECT_GE(sinceStart.elapsed(), 400);
    EXPECT_EQ(app->panel()->windowType(), Qt::Window);

    // Asked for its panel while it still waits (a second launch does that), it opens at once.
    QTemporaryDir otherRuntime;
    auto impatient =
        std::make_unique<BeamwickApp>([this] { return rig.make(); }, otherRuntime.path());
    impatient->setTrayGrace(10s);
    ASSERT_TRUE(impatient->start());
    EXPECT_EQ(impatient->panel(), nullptr);
    impatient->showPanel();
    ASSERT_NE(impatient->panel(), nullptr);
    EXPECT_TRUE(impatient->panel()->isVisible());
}

TEST_F(ShellTest, ClosingTheWindowQuitsAndHandsTheLightBack)
{
    forwardQuitNotice();
    auto app = makeApp();
    ASSERT_TRUE(app->start());
    app->logo().setBrightness(0.5);
    const std::size_t before = restores();
    EXPECT_EQ(runUntilQuit([&] { app->panel()->close(); }), 0);
    ASSERT_EQ(restores(), before + 1);
    EXPECT_NEAR(levelOf(rig.service.writesOf(FakeService::tableKey).back()), 1.0, 1e-9);
}

TEST_F(ShellTest, SecondInstanceBringsTheFirstPanelForward)
{
    auto first = makeApp();
    ASSERT_TRUE(first->start());
    first->panel()->hide();

    auto second = makeApp();
    EXPECT_FALSE(second->start());
    EXPECT_EQ(controllersMade, 1);
    EXPECT_TRUE(spinUntil([&] { return first->panel() && first->panel()->isVisible(); }));
}

TEST_F(ShellTest, SecondLaunchOfTheProgramExitsAndLeavesTheFirstRunning)
{
    QTemporaryDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path() + QStringLiteral("/config"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));

    QProcess first;
    first.setProcessEnvironment(env);
    first.start(QStringLiteral(BEAMWICK_BINARY), {});
    ASSERT_TRUE(first.waitForStarted(5000));
    const QString socket = QDir(runtime.path()).filePath(QStringLiteral("beamwick.socket"));
    ASSERT_TRUE(spinUntil([&] { return QFile::exists(socket); }));

    QProcess second;
    second.setProcessEnvironment(env);
    second.start(QStringLiteral(BEAMWICK_BINARY), {});
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.state(), QProcess::Running);

    first.terminate();
    if (!first.waitForFinished(5000)) {
        first.kill();
        first.waitForFinished(2000);
    }
}
