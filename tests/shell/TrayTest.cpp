// Run on a virtual X display with a tray host, by with-display.sh.
#include "panel/SwitchToggle.h"
#include "serviceabi/ServiceContract.h"
#include "testkit/support/EventLoop.h"
#include "tests/shell/ShellFixture.h"

#include <QImage>
#include <QSystemTrayIcon>

namespace {

bool centreIsInked(const QIcon& icon)
{
    const QImage image = icon.pixmap(22).toImage();
    return image.pixelColor(11, 11).alpha() == 255;
}

} // namespace

class TrayTest : public ShellTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(spinUntil([] { return QSystemTrayIcon::isSystemTrayAvailable(); }))
            << "no tray host on " << qPrintable(qEnvironmentVariable("DISPLAY"));
    }
};

TEST_F(TrayTest, IconFollowsTheLightWhileThePanelIsOpen)
{
    rig.service.setProperty(ServiceContract::backlightModeKey, PropertyValue::integer(0));
    auto app = makeApp();
    ASSERT_TRUE(app->start());
    ASSERT_TRUE(app->usesTray());
    EXPECT_TRUE(app->trayIcon()->isVisible());
    EXPECT_EQ(app->panel(), nullptr);
    EXPECT_FALSE(app->iconShowsOn());
    EXPECT_FALSE(centreIsInked(app->trayIcon()->icon()));
    // The tray host embeds the icon: it gets a place on the screen.
    EXPECT_TRUE(spinUntil([&] { return app->trayIcon()->geometry().isValid(); }));

    app->togglePanel();
    ASSERT_NE(app->panel(), nullptr);
    EXPECT_TRUE(spinUntil([&] { return app->panel()->isVisible(); }));
    EXPECT_EQ(app->panel()->windowType(), Qt::Popup);
    // Under the icon of a panel along the top of the screen.
    EXPECT_GE(app->panel()->y(), app->trayIcon()->geometry().bottom());

    app->panel()->powerSwitch()->click();
    EXPECT_TRUE(spinUntil([&] { return app->iconShowsOn(); }));
    EXPECT_TRUE(centreIsInked(app->trayIcon()->icon()));
    EXPECT_TRUE(app->panel()->isVisible());

    app->panel()->powerSwitch()->click();
    EXPECT_TRUE(spinUntil([&] { return !app->iconShowsOn(); }));
}

TEST_F(TrayTest, RefusedSwitchLeavesTheOutlinedCircle)
{
    rig.service.setProperty(ServiceContract::backlightModeKey, PropertyValue::integer(0));
    rig.service.setRefusing(ServiceContract::backlightModeKey, true);
    auto app = makeApp();
    ASSERT_TRUE(app->start());
    app->togglePanel();
    ASSERT_NE(app->panel(), nullptr);
    app->panel()->powerSwitch()->click();
    EXPECT_TRUE(spinUntil([&] { return app->logo().lastError().has_value(); }));
    settle();
    EXPECT_FALSE(app->iconShowsOn());
    EXPECT_FALSE(centreIsInked(app->trayIcon()->icon()));
}

TEST_F(TrayTest, ManyOpeningsShareOneControllerAndOneQuitHandler)
{
    auto app = makeApp();
    ASSERT_TRUE(app->start());
    for (int i = 0; i < 20; ++i) {
        app->showPanel();
        ASSERT_NE(app->panel(), nullptr) << i;
        app->panel()->close();
        EXPECT_TRUE(spinUntil([&] { return app->panel() == nullptr; })) << i;
    }
    // The click that closed the popup must not open it again at once.
    app->togglePanel();
    EXPECT_EQ(app->panel(), nullptr);
    EXPECT_EQ(controllersMade, 1);

    app->logo().setBrightness(2.0);
    const std::size_t before = restores();
    rig.willTerminate.post();
    EXPECT_EQ(restores(), before + 1);
}

TEST_F(TrayTest, ASecondLaunchOpensThePanelUnderTheIcon)
{
    auto app = makeApp();
    ASSERT_TRUE(app->start());
    auto second = makeApp();
    EXPECT_FALSE(second->start());
    EXPECT_TRUE(spinUntil([&] { return app->panel() && app->panel()->isVisible(); }));
    EXPECT_EQ(controllersMade, 1);
}
