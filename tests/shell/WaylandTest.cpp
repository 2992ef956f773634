// Run as a client of a headless weston by with-weston.sh.
#include "panel/SwitchToggle.h"
#include "serviceabi/ServiceContract.h"
#include "testkit/support/EventLoop.h"
#include "tests/shell/ShellFixture.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QWindow>
#include <cstdio>

namespace {

// The compositor's own view of the screen, through its screenshooter.
QImage screenshot(const QString& name)
{
    QTemporaryDir dir;
    QProcess shooter;
    shooter.setWorkingDirectory(dir.path());
    shooter.start(QStringLiteral("weston-screenshooter"), {});
    if (!shooter.waitForFinished(10000) || shooter.exitCode() != 0)
        return {};
    const QStringList files = QDir(dir.path()).entryList({QStringLiteral("*.png")});
    if (files.isEmpty())
        return {};
    const QString file = dir.filePath(files.constFirst());
    // Kept for a person to look at when asked.
    const QString keep = qEnvironmentVariable("BEAMWICK_SCREENSHOT_DIR");
    if (!keep.isEmpty()) {
        QFile::remove(keep + QLatin1Char('/') + name);
        QFile::copy(file, keep + QLatin1Char('/') + name);
    }
    return QImage(file);
}

int differingPixels(const QImage& a, const QImage& b)
{
    int count = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            count += a.pixel(x, y) != b.pixel(x, y);
    return count;
}

} // namespace

using WaylandTest = ShellTest;

TEST_F(WaylandTest, TheWindowMapsOnTheCompositorAndThePanelWorks)
{
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("wayland"));
    const QImage before = screenshot(QStringLiteral("wayland-desktop.png"));
    ASSERT_FALSE(before.isNull()) << "weston-screenshooter gave no picture";

    rig.service.setProperty(ServiceContract::backlightModeKey, PropertyValue::integer(0));
    auto app = makeApp();
    ASSERT_TRUE(app->start());
    // No tray host on a bare compositor: the window.
    EXPECT_FALSE(app->usesTray());
    ASSERT_NE(app->panel(), nullptr);
    ASSERT_TRUE(spinUntil([&] {
        return app->panel()->windowHandle() && app->panel()->windowHandle()->isExposed();
    })) << "the compositor never showed the window";
    const QWindow* window = app->panel()->windowHandle();
    std::printf("window exposed on %s: %dx%d, title \"%s\"\n",
                qPrintable(QGuiApplication::platformName()), window->width(), window->height(),
                qPrintable(window->title()));
    EXPECT_EQ(window->width(), 280);
    EXPECT_EQ(window->title(), QStringLiteral("Beamwick"));

    app->panel()->powerSwitch()->click();
    EXPECT_TRUE(spinUntil([&] { return app->logo().isOn(); }));
    settle();
    // At least the panel's width times a few rows of it change on the screen, once the
    // compositor has drawn a frame with the window.
    QImage after;
    EXPECT_TRUE(spinUntil([&] {
        after = screenshot(QStringLiteral("wayland-panel.png"));
        return after.size() == before.size() && differingPixels(before, after) > 280 * 100;
    })) << "the panel never showed on the screen";
}
