// The real executable and LED module on a fake LED tree, on a private session bus: the command
// line drives the running Beamwick, follows it, and starts it when none runs.
#include "testkit/fakes/FakeLedTree.h"
#include "testkit/services/PrivateBus.h"
#include "tests/app/BeamwickProcess.h"
#include "tests/system/PrivateInstall.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

namespace {

constexpr const char* kLogo = "test::lid_logo";

class RemoteControlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(install.ready());
        // Found at 200 of 255: level 2 is 200 + 55 / 7 = 208.
        leds.add(kLogo, 200, 255);
        leds.add("test::kbd_backlight", 2, 3);
        ASSERT_TRUE(bus.start()) << bus.errorText();
        env = leds.environment(install.environment());
        env.insert("DBUS_SESSION_BUS_ADDRESS", QString::fromStdString(bus.address()));
        env.insert("PULSE_SERVER", "unix:/nonexistent/beamwick-test-pulse");
    }

    void TearDown() override { quit(); }

    void quit()
    {
        // The normal quit, through the bus: also for a Beamwick this test did not start itself.
        if (bus.hasOwner("org.beamwick.Beamwick")) {
            auto session =
                QDBusConnection::connectToBus(QString::fromStdString(bus.address()), "test");
            session.call(
                QDBusMessage::createMethodCall("org.beamwick.Beamwick", "/org/beamwick/Beamwick",
                                               "org.freedesktop.Application", "ActivateAction")
                << "quit" << QVariant::fromValue(QVariantList()) << QVariantMap());
            EXPECT_TRUE(spinUntil([&] { return !bus.hasOwner("org.beamwick.Beamwick"); }));
        }
        if (running.state() != QProcess::NotRunning) {
            EXPECT_TRUE(running.waitForFinished(10000));
        }
    }

    BeamwickRun beamwick(const QStringList& arguments)
    {
        return BeamwickRun::of(install.executable(), arguments, env);
    }
    QJsonObject state()
    {
        const auto get = beamwick({"--get"});
        EXPECT_EQ(get.exitCode, 0) << qPrintable(get.err);
        QJsonParseError error;
        const auto json = QJsonDocument::fromJson(get.out.toUtf8(), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << qPrintable(get.out);
        return json.object();
    }
    bool ledShows(int step)
    {
        return spinUntil([&] { return leds.brightness(kLogo) == step; });
    }
    QByteArray settings()
    {
        QFile file(install.settings());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    FakeLedTree leds;
    PrivateInstall install{BEAMWICK_LEDS_MODULE_PATH};
    PrivateFolder folder{"beamwick-session"};
    PrivateBus bus{folder.path()};
    QProcessEnvironment env;
    QProcess running;
};

TEST_F(RemoteControlTest, CommandLineDrivesTheRunningBeamwickAndFollowsIt)
{
    running.setProcessEnvironment(env);
    running.start(install.executable(), {});
    ASSERT_TRUE(spinUntil([&] { return bus.hasOwner("org.beamwick.Beamwick"); }));
    QProcess follow;
    follow.setProcessEnvironment(env);
    follow.start(install.executable(), {"--follow"});
    ASSERT_TRUE(spinUntil([&] { return follow.canReadLine(); }));

    // Applied light first, switch last, whatever the order given.
    const auto set = beamwick({"--off", "--brightness", "2", "--mode", "BREATHE", "--light", kLogo,
                               "--breathe-seconds", "3", "--sensitivity", "2.5"});
    ASSERT_EQ(set.exitCode, 0) << qPrintable(set.err);
    EXPECT_TRUE(ledShows(0));
    EXPECT_EQ(beamwick({"--mode", "steady", "--on"}).exitCode, 0);
    EXPECT_TRUE(ledShows(208));
    const QJsonObject now = state();
    EXPECT_EQ(now.value("on"), true);
    EXPECT_EQ(now.value("mode"), "Steady");
    EXPECT_EQ(now.value("brightness"), 2.0);
    EXPECT_EQ(now.value("breatheSeconds"), 3.0);
    EXPECT_EQ(now.value("sensitivity"), 2.5);
    EXPECT_EQ(now.value("light"), kLogo);

    // Saved once the burst is over; a refused call leaves the file as it is, byte for byte.
    ASSERT_TRUE(spinUntil([&] { return settings().contains("\"Steady\""); }));
    const QByteArray saved = settings();
    for (const QStringList& bad :
         {QStringList{"--mode", "music", "--brightness", "9"},
          QStringList{"--light", "test::none", "--off"}, QStringList{"--breathe-seconds", "nan"}}) {
        const auto refused = beamwick(bad);
        EXPECT_EQ(refused.exitCode, 1) << qPrintable(bad.join(' '));
        EXPECT_TRUE(refused.err.contains("accepts")) << qPrintable(refused.err);
    }
    EXPECT_EQ(beamwick({"--on", "--off"}).exitCode, 2);
    EXPECT_EQ(state().value("mode"), "Steady");
    EXPECT_TRUE(ledShows(208));
    EXPECT_EQ(settings(), saved);

    // Every option is in --help.
    const auto help = beamwick({"--help"});
    for (const char* option :
         {"--on", "--off", "--toggle", "--mode", "--brightness", "--breathe-seconds",
          "--sensitivity", "--light", "--get", "--follow"})
        EXPECT_TRUE(help.out.contains(option)) << option;

    // The last line --follow printed is the state now; it ends when Beamwick quits.
    quit();
    // It may have ended already, while the quit was awaited.
    ASSERT_TRUE(follow.state() == QProcess::NotRunning || follow.waitForFinished(10000));
    EXPECT_EQ(follow.exitCode(), 0);
    const auto lines = follow.readAll().trimmed().split('\n');
    EXPECT_GE(lines.size(), 4) << lines.size();
    EXPECT_EQ(QJsonDocument::fromJson(lines.back()).object().value("mode"), "Steady");
    EXPECT_EQ(leds.brightness(kLogo), 200);
}

TEST_F(RemoteControlTest, AControlOptionStartsBeamwickWhenNoneRuns)
{
    const auto get = beamwick({"--get"});
    EXPECT_EQ(get.exitCode, 1);
    EXPECT_EQ(get.err, "Beamwick is not running\n");
    EXPECT_EQ(beamwick({"--follow"}).exitCode, 1);

    const auto toggle = beamwick({"--toggle"});
    EXPECT_EQ(toggle.exitCode, 0) << qPrintable(toggle.err);
    EXPECT_TRUE(bus.hasOwner("org.beamwick.Beamwick"));
    // Found on: switched off.
    EXPECT_TRUE(ledShows(0));
    EXPECT_EQ(state().value("on"), false);
}

// A light that went away refuses what it cannot do: the command line exits 1 with the reason,
// and the light is no longer offered.
TEST_F(RemoteControlTest, ALightThatWentAwayRefusesWithTheReason)
{
    running.setProcessEnvironment(env);
    running.start(install.executable(), {});
    ASSERT_TRUE(spinUntil([&] { return bus.hasOwner("org.beamwick.Beamwick"); }));
    leds.remove(kLogo);

    const auto off = beamwick({"--off"});
    EXPECT_EQ(off.exitCode, 1);
    EXPECT_EQ(off.err.toStdString(), "beamwick: The system refused to switch the logo.\n");
    const auto chosen = beamwick({"--light", kLogo});
    EXPECT_EQ(chosen.exitCode, 1);
    // No longer offered.
    EXPECT_EQ(chosen.err.toStdString(), "beamwick: There is no light test::lid_logo. Light "
                                        "accepts \"\" for Automatic, \"test::kbd_backlight\".\n");
    const QJsonObject now = state();
    EXPECT_EQ(now.value("on"), true);
    EXPECT_EQ(now.value("lastError"), "The system refused to switch the logo.");
}

} // namespace
