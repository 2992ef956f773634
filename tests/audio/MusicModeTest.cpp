// The controller in Music mode on the real capture: what is played comes out as flashes.
#include "PrivateSoundServer.h"
#include "TonePlayer.h"
#include "audio/PulseAudioMeter.h"
#include "control/LogoController.h"
#include "platform/PrivilegedRunner.h"
#include "platform/WillTerminate.h"
#include "tests/fakes/FakeService.h"
#include "tests/fakes/MemoryDefaultsStore.h"
#include "tests/support/EventLoop.h"

#include <QCoreApplication>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iostream>
#include <string>

using namespace std::chrono_literals;

namespace {

class NoRunner final : public PrivilegedRunner {
public:
    void run(const std::vector<std::string>&) override {}
};

const QString kReacting = QStringLiteral("Reacting to the bass in your Mac's audio");

} // namespace

class MusicModeTest : public ::testing::Test {
protected:
    using Clock = std::chrono::steady_clock;

    void SetUp() override
    {
        if (!PrivateSoundServer::available())
            GTEST_SKIP() << "no test sound services (run under scripts/with-services.sh)";
        ASSERT_TRUE(server.start());
        service.reset();
        defaults.values.insert(QStringLiteral("mode"), QStringLiteral("Music"));
    }

    LogoController& makeController()
    {
        PulseAudioMeter::Options options;
        options.server = server.address();
        options.retryInterval = 300ms;
        LogoController::Environment env;
        env.brightness = std::make_unique<Brightness>(FAKE_SERVICE_MODULE_PATH);
        env.meter = std::make_unique<PulseAudioMeter>(options);
        env.defaults = &defaults;
        env.clock = &clock;
        env.willTerminate = &willTerminate;
        env.privilegedRunner = &runner;
        env.fileExists = [](const std::string&) { return false; };
        logo = std::make_unique<LogoController>(std::move(env));
        return *logo;
    }

    PrivateSoundServer server;
    FakeService service;
    MemoryDefaultsStore defaults;
    SteadyClock clock;
    WillTerminate willTerminate;
    NoRunner runner;
    std::unique_ptr<LogoController> logo;
};

TEST_F(MusicModeTest, EveryKickFlashesTheLightOnce)
{
    auto& logo = makeController();
    ASSERT_EQ(logo.musicStatus(), kReacting);
    ASSERT_EQ(logo.mode(), LightMode::music);

    const std::vector<double> kicks{0.5, 1.0, 1.5, 2.0, 2.5, 3.0};
    TonePlayer player(server.address(), kickTrack(kicks, 3.5));

    // Note when each flash is written, to within one pass of the event loop.
    std::vector<Clock::time_point> flashes;
    std::size_t seen = 0;
    const auto deadline = Clock::now() + 10s;
    auto watch = [&] {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
        const auto writes = service.writesOf(FakeService::tableKey);
        for (; seen < writes.size(); ++seen)
            if (levelOf(writes[seen]) > 0.5)
                flashes.push_back(Clock::now());
    };
    while (!player.finished() && Clock::now() < deadline)
        watch();
    const auto settle = Clock::now() + 300ms;
    while (Clock::now() < settle)
        watch();
    player.wait();
    ASSERT_TRUE(player.succeeded());

    ASSERT_EQ(flashes.size(), kicks.size());
    std::cout << "kick to flash delays (ms):";
    for (std::size_t i = 0; i < kicks.size(); ++i) {
        const auto played = *player.playedAt(static_cast<std::size_t>(kicks[i] * TonePlayer::rate));
        const double delay = std::chrono::duration<double, std::milli>(flashes[i] - played).count();
        std::cout << ' ' << delay;
        EXPECT_GT(delay, -30.0) << "a flash before its kick";
        EXPECT_LT(delay, 250.0);
    }
    std::cout << std::endl;
}

TEST_F(MusicModeTest, TheStatusLineStopsClaimingSuccessWhileTheServerIsGone)
{
    auto& logo = makeController();
    ASSERT_EQ(logo.musicStatus(), kReacting);

    server.kill();
    ASSERT_TRUE(spinUntil([&] { return logo.musicStatus() != kReacting; }, 5s));
    EXPECT_TRUE(logo.musicStatus().startsWith(QStringLiteral("Lost the audio (")))
        << logo.musicStatus().toStdString();
    EXPECT_TRUE(logo.meter().isRunning());

    ASSERT_TRUE(server.start());
    EXPECT_TRUE(spinUntil([&] { return logo.musicStatus() == kReacting; }, 5s));

    // Leaving Music mode ends the capture and clears the line; a late report changes nothing.
    logo.setMode(LightMode::steady);
    EXPECT_FALSE(logo.meter().isRunning());
    server.kill();
    spinUntil([] { return false; }, 200ms);
    EXPECT_TRUE(logo.musicStatus().isEmpty());
}

namespace {

std::string run(const std::string& command)
{
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (fgets(buffer, sizeof buffer, pipe))
            out += buffer;
        pclose(pipe);
    }
    return out;
}

// Voluntary context switches of this process's thread with the given name: how often it slept
// and was woken again.
long wakeUpsOf(const std::string& threadName)
{
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream comm(task.path() / "comm");
        std::string name;
        std::getline(comm, name);
        if (name != threadName)
            continue;
        std::ifstream status(task.path() / "status");
        for (std::string line; std::getline(status, line);)
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0)
                return std::stol(line.substr(line.find(':') + 1));
    }
    return -1;
}

} // namespace

TEST_F(MusicModeTest, WhileNothingPlaysTheSinkSleepsAndTheFirstKickAfterwardsStillFlashes)
{
    const std::string pactl = "pactl --server=" + server.address() + " ";
    ASSERT_NE(run(pactl + "load-module module-suspend-on-idle timeout=1"), "");
    const auto started = Clock::now();
    auto& logo = makeController();
    ASSERT_EQ(logo.musicStatus(), kReacting);

    // Nothing plays: the capture pauses, the tick timer follows, and the sound device closes.
    ASSERT_TRUE(spinUntil([&] { return logo.timerPaused(); }, 5s));
    EXPECT_TRUE(spinUntil(
        [&] { return run(pactl + "list short sinks").find("SUSPENDED") != std::string::npos; }, 5s))
        << run(pactl + "list short sinks");
    const long before = wakeUpsOf("beamwick.audio");
    ASSERT_GE(before, 0);
    spinUntil([] { return false; }, 2s);
    const long wakeUps = wakeUpsOf("beamwick.audio") - before;
    std::cout << "audio thread wake-ups in 2 s with nothing playing: " << wakeUps << std::endl;
    EXPECT_LE(wakeUps, 2);
    EXPECT_EQ(logo.musicStatus(), kReacting);

    spinUntil([] { return false; }, std::chrono::duration_cast<std::chrono::milliseconds>(
                                        10s - (Clock::now() - started)));
    const auto writes = service.writesOf(FakeService::tableKey).size();
    TonePlayer player(server.address(), kickTrack({0.05, 0.6}, 1.0));
    ASSERT_TRUE(spinUntil([&] { return player.finished(); }, 5s));
    spinUntil([] { return false; }, 300ms);
    player.wait();
    ASSERT_TRUE(player.succeeded());
    std::vector<double> flashes;
    const auto after = service.writesOf(FakeService::tableKey);
    for (std::size_t i = writes; i < after.size(); ++i)
        if (levelOf(after[i]) > 0.5)
            flashes.push_back(levelOf(after[i]));
    EXPECT_EQ(flashes.size(), 2u) << "both kicks, the first right after the silence";
    EXPECT_DOUBLE_EQ(levelOf(after.back()), 0.02) << "and each flash ended";
}
