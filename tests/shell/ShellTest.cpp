#include "shell/LightMenu.h"
#include "testkit/support/EventLoop.h"
#include "tests/shell/ShellFixture.h"

#include <QElapsedTimer>
#include <QLabel>
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

TEST_F(ShellTest, TheWindowsContextMenuChoosesTheLight)
{
    rig.service.setProperty(ServiceContract::lightsKey,
                            PropertyValue::array({PropertyValue::string("x::lid_logo"),
                                                  PropertyValue::string("x::kbd_backlight")}));
    rig.service.setProperty(ServiceContract::lightKey, PropertyValue::string("x::kbd_backlight"));
    auto app = makeApp();
    ASSERT_TRUE(app->start());
    emit app->panel()->customContextMenuRequested(QPoint(4, 4));
    ASSERT_TRUE(spinUntil([&] { return app->lightMenu()->isVisible(); }));
    QStringList shown;
    for (const QAction* action : app->lightMenu()->actions()) {
        if (!action->isSeparator())
            shown << (action->isChecked() ? "[x] " : "[ ] ") + action->text();
    }
    EXPECT_EQ(shown, (QStringList{"[x] Automatic", "[ ] x::lid_logo", "[x] x::kbd_backlight"}));

    app->lightMenu()->actions().at(2)->trigger();
    EXPECT_EQ(rig.service.writesOf(ServiceContract::lightKey).back(),
              PropertyValue::string("x::lid_logo"));
    EXPECT_EQ(rig.defaults.values.value("light").toString(), QStringLiteral("x::lid_logo"));

    // A choice the system refuses says why in the panel's error line, the light in use kept.
    rig.service.setRefusing(ServiceContract::lightKey, true);
    app->lightMenu()->actions().at(3)->trigger();
    const QString why = QStringLiteral("The system refused to drive the light x::kbd_backlight.");
    EXPECT_TRUE(spinUntil([&] { return app->panel()->errorLine()->text() == why; }));
    EXPECT_EQ(app->logo().light(), QStringLiteral("x::lid_logo"));
}
