#include "app/InstanceGuard.h"
#include "app/PopupPlacement.h"
#include "app/SwitchToggle.h"
#include "app/TrayIcons.h"
#include "tests/app/ShellFixture.h"
#include "testkit/support/EventLoop.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QLocalServer>
#include <QProcess>
#include <QSystemTrayIcon>

TEST(PopupPlacementTest, OpensUnderATopPanelAndAboveABottomOne)
{
    const QRect screen(0, 0, 1920, 1080);
    const QSize panel(280, 300);
    EXPECT_EQ(PopupPlacement::place(QRect(1000, 0, 24, 24), panel, screen), QPoint(871, 24));
    EXPECT_EQ(PopupPlacement::place(QRect(1000, 1056, 24, 24), panel, screen), QPoint(871, 756));
}

TEST(PopupPlacementTest, StaysWhollyOnTheScreen)
{
    const QSize panel(280, 300);
    // An icon at the right edge: the panel ends at the edge instead of hanging off it.
    EXPECT_EQ(PopupPlacement::place(QRect(1900, 0, 20, 20), panel, QRect(0, 0, 1920, 1080)),
              QPoint(1640, 20));
    EXPECT_EQ(PopupPlacement::place(QRect(0, 0, 20, 20), panel, QRect(0, 0, 1920, 1080)),
              QPoint(0, 20));
    // A second screen to the right, with a panel on its left side.
    EXPECT_EQ(PopupPlacement::place(QRect(1920, 500, 30, 30), panel, QRect(1920, 0, 1280, 1024)),
              QPoint(1920, 530));
    // A screen too short for the panel either way: the top of the panel stays visible.
    EXPECT_EQ(PopupPlacement::place(QRect(100, 100, 20, 20), panel, QRect(0, 0, 800, 200)),
              QPoint(0, 0));
}

TEST(TrayIconsTest, FilledAndOutlinedDifferInTheMiddleAtEverySize)
{
    const QColor ink(Qt::black);
    const QColor halo(255, 255, 255, 150);
    const QIcon on = TrayIcons::circle(true, ink, halo);
    const QIcon off = TrayIcons::circle(false, ink, halo);
    for (const int size : {16, 22, 24, 32, 48, 64, 128}) {
        const QImage filled = on.pixmap(size).toImage();
        const QImage outlined = off.pixmap(size).toImage();
        ASSERT_EQ(filled.size(), QSize(size, size)) << size;
        const QPoint centre(size / 2, size / 2);
        EXPECT_EQ(filled.pixelColor(centre), ink) << size;
        EXPECT_EQ(outlined.pixelColor(centre).alpha(), 0) << size;
        // Both have the ring of ink, and the corners stay clear.
        const double halo = std::max(1.0, size / 16.0), ring = std::max(2.0, size / 8.0);
        const QPoint onRing(size / 2, int(halo + 0.5 + ring / 2));
        EXPECT_EQ(filled.pixelColor(onRing), ink) << size;
        EXPECT_EQ(outlined.pixelColor(onRing), ink) << size;
        EXPECT_EQ(filled.pixelColor(0, 0).alpha(), 0) << size;
        // The halo rims the glyph: at its very edge there is light, not ink and not nothing.
        const QColor rim = filled.pixelColor(size / 2, 0);
        EXPECT_GT(rim.alpha(), 0) << size;
        EXPECT_GT(rim.lightness(), 128) << size;
    }
}

class InstanceGuardTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
};

TEST_F(InstanceGuardTest, SecondLaunchAsksTheFirstToShowItself)
{
    InstanceGuard first(dir.path());
    ASSERT_EQ(first.claim(), InstanceGuard::Outcome::primary);
    int requests = 0;
    QObject::connect(&first, &InstanceGuard::showRequested, [&] { ++requests; });

    InstanceGuard second(dir.path());
    EXPECT_EQ(second.claim(), InstanceGuard::Outcome::askedPrimary);
    EXPECT_TRUE(spinUntil([&] { return requests == 1; }));

    InstanceGuard third(dir.path());
    EXPECT_EQ(third.claim(), InstanceGuard::Outcome::askedPrimary);
    EXPECT_TRUE(spinUntil([&] { return requests == 2; }));
}

TEST_F(InstanceGuardTest, LeftoversOfACrashedInstanceDoNotBlockTheNextStart)
{
    // A Beamwick killed outright leaves its lock and its socket file behind.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path());
    env.insert(QStringLiteral("HOME"), dir.path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess crashed;
    crashed.setProcessEnvironment(env);
    crashed.start(QStringLiteral(BEAMWICK_BINARY), {});
    ASSERT_TRUE(crashed.waitForStarted(5000));
    const QString socket = QDir(dir.path()).filePath(QStringLiteral("beamwick.socket"));
    ASSERT_TRUE(spinUntil([&] { return QFile::exists(socket); }));
    crashed.kill();
    ASSERT_TRUE(crashed.waitForFinished(5000));
    ASSERT_TRUE(QFile::exists(socket));

    InstanceGuard guard(dir.path());
    EXPECT_EQ(guard.claim(), InstanceGuard::Outcome::primary);
    int requests = 0;
    QObject::connect(&guard, &InstanceGuard::showRequested, [&] { ++requests; });
    InstanceGuard later(dir.path());
    EXPECT_EQ(later.claim(), InstanceGuard::Outcome::askedPrimary);
    EXPECT_TRUE(spinUntil([&] { return requests == 1; }));
}

TEST_F(InstanceGuardTest, APrimaryThatNeverAnswersIsReportedNotWaitedOnForever)
{
    InstanceGuard first(dir.path());
    ASSERT_EQ(first.claim(), InstanceGuard::Outcome::primary);
    // The socket goes away: the lock is held, but no one answers.
    QLocalServer::removeServer(first.socketPath());
    InstanceGuard second(dir.path());
    EXPECT_EQ(second.claim(), InstanceGuard::Outcome::unreachable);
}

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
