// The real executable and LED module beside a mock logind (its lid and the session's lock) and
// the real UPower daemon on a umockdev testbed whose mains supply the test unplugs: the light goes
// dark and comes back as they change, and quitting or a kill while dark leaves it as the user set
// it.
#include "testkit/fakes/FakeLedTree.h"
#include "testkit/services/ChildProcess.h"
#include "testkit/services/PrivateSystemBus.h"
#include "testkit/support/Poll.h"
#include "tests/system/PrivateInstall.h"

#include <QProcess>
#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <iostream>

namespace {

using namespace std::chrono_literals;

constexpr const char* kLidLogo = "test::lid_logo";

class DarkWhileUnseenTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(install.ready());
        ASSERT_TRUE(system.start()) << system.errorText();
    }
    void TearDown() override
    {
        if (beamwick.state() != QProcess::NotRunning) {
            beamwick.kill();
            beamwick.waitForFinished(5000);
        }
    }
    void start(QProcessEnvironment env)
    {
        env.insert("DBUS_SYSTEM_BUS_ADDRESS", QString::fromStdString(system.address()));
        beamwick.setProcessEnvironment(env);
        beamwick.start(install.executable(), {});
        ASSERT_TRUE(beamwick.waitForStarted(5000));
    }
    void quit()
    {
        beamwick.terminate();
        ASSERT_TRUE(beamwick.waitForFinished(10000));
    }
    // How long the light took to show `step` after `change`; none when it did not within 5 s.
    template <typename Shown>
    std::optional<std::chrono::milliseconds> shows(Shown shown, int step, bool change)
    {
        const auto from = std::chrono::steady_clock::now();
        if (!change || !pollUntil([&] { return shown() == step; }, 5s, 1ms))
            return std::nullopt;
        return std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - from);
    }

    PrivateInstall install{BEAMWICK_LEDS_MODULE_PATH};
    PrivateSystemBus system;
    QProcess beamwick;
};

TEST_F(DarkWhileUnseenTest, TheClosedLidAndTheChosenLockDarkenTheLightUntilItIsSeenAgain)
{
    FakeLedTree testbed;
    testbed.add(kLidLogo, 200, 255);
    const auto logo = [&] { return testbed.brightness(kLidLogo); };
    ASSERT_TRUE(system.startLogindManager()) << system.errorText();
    ASSERT_TRUE(system.addLid(false) && system.addOwnSession());
    ASSERT_TRUE(
        install.setSettings({{"mode", "Steady"}, {"brightness", 0.5}, {"darkWhenLocked", true}}));
    start(testbed.environment(install.environment()));
    ASSERT_TRUE(pollUntil([&] { return logo() == 100; }, 10s));

    // Said twice at most: the watch of the bus is set up in the background.
    auto closed = shows(logo, 0, system.setLidClosed(true));
    if (!closed)
        closed = shows(logo, 0, system.setLidClosed(false) && system.setLidClosed(true));
    ASSERT_TRUE(closed) << "the closed lid did not darken the light";
    const auto opened = shows(logo, 100, system.setLidClosed(false));
    ASSERT_TRUE(opened);
    const auto locked = shows(logo, 0, system.setLocked(true));
    ASSERT_TRUE(locked);
    ASSERT_TRUE(shows(logo, 100, system.setLocked(false)));
    std::cout << "lid closed -> dark: " << closed->count()
              << " ms, opened -> back: " << opened->count()
              << " ms, locked -> dark: " << locked->count() << " ms\n";

    // Quitting while dark gives the light back as found; so does a kill, once the next run quits.
    ASSERT_TRUE(shows(logo, 0, system.setLidClosed(true)));
    quit();
    EXPECT_EQ(logo(), 200);
    start(testbed.environment(install.environment()));
    ASSERT_TRUE(pollUntil([&] { return logo() == 0; }, 10s)) << "a start with the lid closed";
    beamwick.kill();
    ASSERT_TRUE(beamwick.waitForFinished(5000));
    ASSERT_TRUE(system.setLidClosed(false));
    start(testbed.environment(install.environment()));
    ASSERT_TRUE(pollUntil([&] { return logo() == 100; }, 10s));
    quit();
    EXPECT_EQ(logo(), 200);
}

TEST_F(DarkWhileUnseenTest, BatteryPowerDarkensTheLightWhereTheUserChoseSo)
{
    PrivateFolder folder{"beamwick-power"};
    const auto ready = folder / "testbed";
    ChildProcess testbed;
    ASSERT_TRUE(testbed.start({"/usr/bin/python3",
                               {POWER_TESTBED_SCRIPT, ready},
                               {{"LD_PRELOAD", UMOCKDEV_PRELOAD}},
                               folder / "testbed.log"}));
    ASSERT_TRUE(testbed.waitUntil([&] { return std::filesystem::exists(ready); }, 10s,
                                  "the power supply's testbed"));
    const std::string dir = FakeLedTree::read(ready);
    const std::map<std::string, std::string> preload{{"UMOCKDEV_DIR", dir},
                                                     {"LD_PRELOAD", UMOCKDEV_PRELOAD}};
    ASSERT_TRUE(system.startUPower(preload)) << system.errorText();
    const auto keyboard = [&] {
        const auto text = FakeLedTree::read(dir + "/sys/class/leds/test::kbd_backlight/brightness");
        return text.empty() ? -1 : std::stoi(text);
    };
    const auto unplug = [&](bool out) {
        return ::kill(testbed.pid(), out ? SIGUSR1 : SIGUSR2) == 0;
    };

    for (const bool chosen : {false, true}) {
        SCOPED_TRACE(chosen ? "chosen" : "not chosen");
        ASSERT_TRUE(install.setSettings(
            {{"mode", "Steady"}, {"brightness", 1.0}, {"darkOnBattery", chosen}}));
        auto env = install.environment();
        for (const auto& [name, value] : preload)
            env.insert(QString::fromStdString(name), QString::fromStdString(value));
        start(env);
        ASSERT_TRUE(pollUntil([&] { return keyboard() == 2; }, 10s));
        if (chosen) {
            EXPECT_TRUE(shows(keyboard, 0, unplug(true)));
            EXPECT_TRUE(shows(keyboard, 2, unplug(false)));
        } else {
            ASSERT_TRUE(unplug(true));
            // An attribute caught while rewritten reads as nothing: only another value counts.
            EXPECT_FALSE(pollUntil([&] { return keyboard() >= 0 && keyboard() != 2; }, 1s));
            ASSERT_TRUE(unplug(false));
        }
        quit();
        EXPECT_EQ(keyboard(), 2);
    }
}

} // namespace
