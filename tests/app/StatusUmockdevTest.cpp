// Runs under umockdev-run with led.umockdev: the real executable, as a child that inherits the
// testbed, finds the fake LED under /sys/class/leds.
#include "tests/app/BeamwickProcess.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace {

constexpr const char* kBrightness = "/sys/class/leds/test::kbd_backlight/brightness";

QString brightness()
{
    QFile file(QString::fromLatin1(kBrightness));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed() : QString();
}

} // namespace

TEST(StatusUmockdevTest, ReportsTheFakeLedAndNoAnswerTouchesIt)
{
    ASSERT_EQ(brightness(), QStringLiteral("37")) << "not run under umockdev-run?";
    const PrivateSession session;
    const QProcessEnvironment env = session.environment();
    const QString program = QStringLiteral(BEAMWICK_BINARY);

    const auto status = BeamwickRun::of(program, {QStringLiteral("--status")}, env);
    EXPECT_EQ(status.exitCode, 0) << qPrintable(status.out + status.err);
    EXPECT_TRUE(status.out.startsWith(
        QStringLiteral(
            "LED: test::kbd_backlight (max_brightness 255, brightness 37, trigger none)\n"
            "Chosen: a keyboard backlight (its name ends in \"::kbd_backlight\")\n"
            "Writes through: sysfs (%1)\n")
            .arg(QString::fromLatin1(kBrightness))))
        << qPrintable(status.out);

    // The light saved from the menu is read from the settings file itself.
    QDir().mkpath(session.home.filePath(QStringLiteral("config/beamwick")));
    QFile settings(session.home.filePath(QStringLiteral("config/beamwick/settings.json")));
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
    settings.write(R"({"light": "gone::kbd_backlight"})");
    settings.close();
    EXPECT_TRUE(BeamwickRun::of(program, {QStringLiteral("--status")}, env)
                    .out.startsWith(QStringLiteral("The light chosen from the tray menu, "
                                                   "gone::kbd_backlight, is passed over")));

    for (const char* argument : {"--help", "--version", "--bogus", "--status"}) {
        const auto run = BeamwickRun::of(program, {QString::fromLatin1(argument)}, env);
        EXPECT_NE(run.exitCode, -1) << argument;
        EXPECT_EQ(brightness(), QStringLiteral("37")) << argument;
    }
}
