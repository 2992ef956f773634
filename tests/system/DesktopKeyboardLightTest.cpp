// The real executable and LED module beside the real UPower daemon, which the desktop's power
// managers call to set the keyboard light: a level the desktop sets is taken as a brightness
// key's, and quitting gives back what the user and the desktop last left.
#include "testkit/audio/TonePlayer.h"
#include "testkit/fakes/FakeLedTree.h"
#include "testkit/services/PrivateSoundServer.h"
#include "testkit/services/PrivateSystemBus.h"
#include "testkit/support/Poll.h"
#include "tests/system/PrivateInstall.h"

#include <QJsonObject>
#include <QProcess>
#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

constexpr const char* kKeyboard = "test::kbd_backlight";

class DesktopKeyboardLightTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(install.ready());
        testbed.add(kKeyboard, 50, 100);
        ASSERT_TRUE(system.start()) << system.errorText();
        ASSERT_TRUE(sound.start()) << sound.errorText();
    }
    void TearDown() override
    {
        if (beamwick.state() != QProcess::NotRunning) {
            beamwick.kill();
            beamwick.waitForFinished(5000);
        }
    }

    void startUPower()
    {
        const auto env = testbed.environment({});
        ASSERT_TRUE(system.startUPower({{"UMOCKDEV_DIR", env.value("UMOCKDEV_DIR").toStdString()},
                                        {"LD_PRELOAD", env.value("LD_PRELOAD").toStdString()}}))
            << system.errorText();
    }
    void start(const char* mode, double brightness)
    {
        ASSERT_TRUE(install.setSettings({{"mode", mode}, {"brightness", brightness}}));
        auto env = testbed.environment(install.environment());
        env.insert("DBUS_SYSTEM_BUS_ADDRESS", QString::fromStdString(system.address()));
        env.insert("PULSE_SERVER", QString::fromStdString(sound.address()));
        beamwick.setProcessEnvironment(env);
        beamwick.start(install.executable(), {});
        ASSERT_TRUE(beamwick.waitForStarted(5000));
    }
    // The desktop sets the light, and Beamwick has shown what it makes of it. Said again while
    // Beamwick may not be listening yet: its watch of the bus is set up in the background.
    bool desktopSets(int brightness, int shown)
    {
        for (int attempt = 0; attempt < 10; ++attempt)
            if (system.setKeyboardBrightness(brightness) && shows(shown, 500ms))
                return true;
        return false;
    }
    bool shows(int step, std::chrono::milliseconds limit = 5s)
    {
        return pollUntil([&] { return testbed.brightness(kKeyboard) == step; }, limit);
    }
    void quit()
    {
        ASSERT_TRUE(pollUntil([&] { return beamwick.state() == QProcess::Running; }, 5s));
        beamwick.terminate();
        ASSERT_TRUE(beamwick.waitForFinished(10000));
    }

    PrivateInstall install{BEAMWICK_LEDS_MODULE_PATH};
    FakeLedTree testbed;
    PrivateSystemBus system;
    PrivateSoundServer sound{{PrivateSoundServer::Kind::pulseAudio}};
    QProcess beamwick;
};

// Steady at twice the user's brightness: level 2 on a light found at F of 100 shows
// F + (100 - F) / 7. The desktop dims and restores; quitting leaves what the desktop set last.
TEST_F(DesktopKeyboardLightTest, SteadyScalesFromTheDesktopsLevelAndQuittingLeavesIt)
{
    startUPower();
    start("Steady", 2.0);
    ASSERT_TRUE(shows(57)) << testbed.brightness(kKeyboard);
    EXPECT_TRUE(desktopSets(1, 15)) << testbed.brightness(kKeyboard);
    EXPECT_TRUE(desktopSets(3, 17)) << testbed.brightness(kKeyboard);
    EXPECT_TRUE(desktopSets(2, 16)) << testbed.brightness(kKeyboard);
    // Set in a burst, a level may be heard only after the next is written: the last one holds.
    for (const int level : {3, 1, 3, 1, 4})
        ASSERT_TRUE(system.setKeyboardBrightness(level));
    EXPECT_TRUE(shows(18)) << testbed.brightness(kKeyboard);
    quit();
    EXPECT_EQ(testbed.brightness(kKeyboard), 4);
}

// Locked, the desktop switches the light off: it stays dark through the kicks and the capture
// stops; back, the desktop restores a level and the kicks flash it again.
TEST_F(DesktopKeyboardLightTest, MusicStaysDarkWhileTheDesktopHasTheLightOff)
{
    startUPower();
    start("Music", 1.0);
    std::vector<double> kicks;
    for (double at = 0.5; at < 9.0; at += 0.5)
        kicks.push_back(at);
    TonePlayer player(sound.address(), kickTrack(kicks, 9.5), 200ms);
    ASSERT_TRUE(shows(50)) << "no flash before the desktop's change";
    ASSERT_TRUE(system.setKeyboardBrightness(0));
    EXPECT_TRUE(shows(0));
    EXPECT_TRUE(pollUntil([&] { return sound.pactl("list short source-outputs").empty(); }, 5s))
        << "the capture goes on: " << sound.pactl("list short source-outputs");
    EXPECT_FALSE(pollUntil([&] { return testbed.brightness(kKeyboard) != 0; }, 3s))
        << "lit while the desktop had it off: " << testbed.brightness(kKeyboard);
    ASSERT_TRUE(system.setKeyboardBrightness(20));
    // The floor between beats, then a flash at the desktop's level within a beat or so.
    EXPECT_TRUE(shows(1, 2s)) << testbed.brightness(kKeyboard);
    EXPECT_TRUE(shows(20, 2s)) << testbed.brightness(kKeyboard);
}

// UPower may come after Beamwick, as after a restart of either.
TEST_F(DesktopKeyboardLightTest, AUPowerStartedLaterIsFollowed)
{
    start("Steady", 2.0);
    ASSERT_TRUE(shows(57));
    startUPower();
    EXPECT_TRUE(desktopSets(30, 40)) << testbed.brightness(kKeyboard);
    system.stopUPower();
    startUPower();
    EXPECT_TRUE(desktopSets(10, 23)) << testbed.brightness(kKeyboard);
    quit();
    EXPECT_EQ(testbed.brightness(kKeyboard), 10);
}

} // namespace
