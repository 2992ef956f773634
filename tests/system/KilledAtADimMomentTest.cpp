// Runs under umockdev-run with kbd_backlight.umockdev: the real executable and the real LED
// module on a keyboard backlight found at 200, ended the hardest way.
#include "testkit/services/PrivateSoundServer.h"
#include "tests/audio/TonePlayer.h"
#include "tests/system/PrivateInstall.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <chrono>
#include <csignal>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <thread>

namespace {

constexpr const char* kBrightness = "/sys/class/leds/test::kbd_backlight/brightness";

int brightness()
{
    std::ifstream in(kBrightness);
    int value = -1;
    in >> value;
    return value;
}

bool waitFor(const std::function<bool()>& done)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

class KilledAtADimMomentTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(install.ready());
        settings = install.settings();
    }

    void setMode(const char* mode, double brightness = 1.0)
    {
        QFile file(settings);
        QJsonObject values;
        if (file.open(QIODevice::ReadOnly))
            values = QJsonDocument::fromJson(file.readAll()).object();
        file.close();
        values.insert("mode", mode);
        values.insert("brightness", brightness);
        values.insert("breatheSeconds", 2.0);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QJsonDocument(values).toJson());
    }

    void start(QProcess& beamwick, const std::string& soundServer = {})
    {
        auto env = install.environment();
        if (!soundServer.empty())
            env.insert("PULSE_SERVER", QString::fromStdString(soundServer));
        beamwick.setProcessEnvironment(env);
        beamwick.start(install.executable(), {});
        ASSERT_TRUE(beamwick.waitForStarted(5000));
    }

    // Starts in Steady at 100 %, waits for the light to show 200 and quits as a desktop would;
    // gives the exit code.
    int steadyStartAndQuit()
    {
        setMode("Steady");
        QProcess beamwick;
        start(beamwick);
        EXPECT_TRUE(waitFor([] { return brightness() == 200; })) << "shows " << brightness();
        ::kill(static_cast<pid_t>(beamwick.processId()), SIGTERM);
        EXPECT_TRUE(beamwick.waitForFinished(10000));
        return beamwick.exitCode();
    }

    PrivateInstall install{BEAMWICK_LEDS_MODULE_PATH};
    QString settings;
};

} // namespace

TEST_F(KilledAtADimMomentTest, TheNextStartAndItsQuitShowTheBrightnessFoundFirst)
{
    ASSERT_EQ(brightness(), 200);
    setMode("Breathe");
    {
        QProcess beamwick;
        start(beamwick);
        ASSERT_TRUE(waitFor([] { return brightness() >= 0 && brightness() < 20; }))
            << "the breath never dimmed the LED";
        ::kill(static_cast<pid_t>(beamwick.processId()), SIGKILL);
        ASSERT_TRUE(beamwick.waitForFinished(10000));
    }
    EXPECT_LT(brightness(), 200);

    EXPECT_EQ(steadyStartAndQuit(), 0);
    EXPECT_EQ(brightness(), 200);
}

TEST_F(KilledAtADimMomentTest, AKillInTheMiddleOfAMusicFlashChangesNothingLater)
{
    PrivateSoundServer server;
    ASSERT_TRUE(server.start()) << server.errorText() << "\n" << server.log();
    ASSERT_EQ(brightness(), 200);
    // Flashes at twice the factory brightness: 200 + (255 - 200) / 7.
    setMode("Music", 2.0);
    {
        QProcess beamwick;
        start(beamwick, server.address());
        std::vector<double> kicks;
        for (double at = 0.5; at < 8.0; at += 0.5)
            kicks.push_back(at);
        TonePlayer player(server.address(), kickTrack(kicks, 8.5));
        ASSERT_TRUE(waitFor([] { return brightness() == 208; })) << "no flash; " << brightness();
        ::kill(static_cast<pid_t>(beamwick.processId()), SIGKILL);
        ASSERT_TRUE(beamwick.waitForFinished(10000));
    }

    steadyStartAndQuit();
    EXPECT_EQ(brightness(), 200);
}
