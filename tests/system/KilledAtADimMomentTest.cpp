// Runs under umockdev-run with kbd_backlight.umockdev: the real executable and the real LED
// module on a keyboard backlight found at 200, ended the hardest way.
#include "tests/audio/PrivateSoundServer.h"
#include "tests/audio/TonePlayer.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
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
        ASSERT_TRUE(dir.isValid());
        // A private install: bin/beamwick loads bin/../lib/beamwick/beamwick-leds.so.
        QDir(dir.path()).mkpath("bin");
        QDir(dir.path()).mkpath("lib/beamwick");
        QDir(dir.path()).mkpath("config/beamwick");
        QDir(dir.path()).mkpath("run");
        QFile::setPermissions(dir.filePath("run"), QFileDevice::ReadOwner |
                                                       QFileDevice::WriteOwner |
                                                       QFileDevice::ExeOwner);
        ASSERT_TRUE(QFile::copy(BEAMWICK_EXECUTABLE, dir.filePath("bin/beamwick")));
        ASSERT_TRUE(
            QFile::copy(BEAMWICK_LEDS_MODULE_PATH, dir.filePath("lib/beamwick/beamwick-leds.so")));
        settings = dir.filePath("config/beamwick/settings.json");
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
        auto env = QProcessEnvironment::systemEnvironment();
        if (!soundServer.empty())
            env.insert("PULSE_SERVER", QString::fromStdString(soundServer));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_CONFIG_HOME", dir.filePath("config"));
        env.insert("XDG_RUNTIME_DIR", dir.filePath("run"));
        env.insert("HOME", dir.path());
        beamwick.setProcessEnvironment(env);
        beamwick.start(dir.filePath("bin/beamwick"), {});
        ASSERT_TRUE(beamwick.waitForStarted(5000));
    }

    QTemporaryDir dir;
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

    setMode("Steady");
    QProcess beamwick;
    start(beamwick);
    EXPECT_TRUE(waitFor([] { return brightness() == 200; })) << "shows " << brightness();
    ::kill(static_cast<pid_t>(beamwick.processId()), SIGTERM);
    ASSERT_TRUE(beamwick.waitForFinished(10000));
    EXPECT_EQ(beamwick.exitCode(), 0);
    EXPECT_EQ(brightness(), 200);
}

TEST_F(KilledAtADimMomentTest, AKillInTheMiddleOfAMusicFlashChangesNothingLater)
{
    if (!PrivateSoundServer::available())
        GTEST_SKIP() << "no test sound services (run under scripts/with-services.sh)";
    PrivateSoundServer server;
    ASSERT_TRUE(server.start());
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

    setMode("Steady");
    QProcess beamwick;
    start(beamwick);
    EXPECT_TRUE(waitFor([] { return brightness() == 200; })) << "shows " << brightness();
    ::kill(static_cast<pid_t>(beamwick.processId()), SIGTERM);
    ASSERT_TRUE(beamwick.waitForFinished(10000));
    EXPECT_EQ(brightness(), 200);
}
