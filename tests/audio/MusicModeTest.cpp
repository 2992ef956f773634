// The controller in Music mode on the real capture: what is played comes out as flashes.
#include "audio/BassDetector.h"
#include "audio/SoundServerMeter.h"
#include "control/LogoController.h"
#include "platform/TimerTicker.h"
#include "testkit/audio/TonePlayer.h"
#include "testkit/fakes/ControllerRig.h"
#include "testkit/fakes/FakeService.h"
#include "testkit/fakes/ForwardingMeter.h"
#include "testkit/services/PrivateSoundServer.h"
#include "testkit/support/EventLoop.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iostream>
#include <string>

using namespace std::chrono_literals;

namespace {

// The capture measures blocks of 512 frames, the length the beat timing was tuned for.
constexpr std::size_t kBlockFrames = 512;
constexpr double kBlockSeconds = double(kBlockFrames) / TonePlayer::rate;

// How often the light was lit (the table written above half the factory level) since the write
// numbered `seen`; moves `seen` past what it looked at.
std::size_t flashesSince(const FakeService& service, std::size_t& seen)
{
    const auto writes = service.writes();
    std::size_t flashes = 0;
    for (; seen < writes.size(); ++seen)
        flashes +=
            writes[seen].first == FakeService::tableKey && levelOf(writes[seen].second) > 0.5;
    return flashes;
}

// The block indices at which a controller in Music mode flashes for the samples taken in
// blocks of 512 frames, its clock advanced by one block each and its timer ticking every 50 ms
// of that time, as the capture and the event loop would drive it.
std::vector<std::size_t> offlineFlashes(const std::vector<float>& samples)
{
    ControllerRig rig;
    rig.defaults.values.insert(QStringLiteral("mode"), QStringLiteral("Music"));
    auto logo = rig.make();
    BassDetector detector;
    detector.setUpFilter(float(TonePlayer::rate));

    std::vector<std::size_t> flashes;
    std::size_t seen = rig.service.writeCount();
    double now = 0, nextTick = 0.05;
    const std::size_t blockSamples = kBlockFrames * 2;
    for (std::size_t block = 0; (block + 1) * blockSamples <= samples.size(); ++block) {
        const AudioBuffer buffer{2, std::uint32_t(blockSamples * sizeof(float)),
                                 samples.data() + block * blockSamples};
        const auto level = detector.process({&buffer, 1});
        if (!level)
            continue;
        now += kBlockSeconds;
        rig.clock.advance(std::chrono::duration<double>(kBlockSeconds));
        for (; nextTick <= now; nextTick += 0.05)
            rig.ticker->tick();
        rig.meter->deliver(level->bass, level->previousAverage);
        if (flashesSince(rig.service, seen) > 0)
            flashes.push_back(block);
    }
    return flashes;
}

} // namespace

class MusicModeTest : public ::testing::Test {
protected:
    using Clock = std::chrono::steady_clock;

    void SetUp() override
    {
        ASSERT_TRUE(server.start()) << server.errorText() << "\n" << server.log();
        rig.defaults.values.insert(QStringLiteral("mode"), QStringLiteral("Music"));
    }

    // Flashes wait for their beat to be heard on a real timer, or on the rig's, which only the
    // test rings.
    LogoController& makeController(bool realFlashTimer = true)
    {
        SoundServerMeter::Options options;
        options.server = server.address();
        options.retryInterval = 300ms;
        auto capture =
            std::make_unique<ForwardingMeter>(std::make_unique<SoundServerMeter>(options));
        meter = capture.get();
        auto timer = std::make_unique<TimerTicker>();
        ticker = timer.get();
        logo = rig.make({.meter = std::move(capture),
                         .ticker = std::move(timer),
                         .flashTicker = realFlashTimer ? std::make_unique<TimerTicker>()
                                                       : std::unique_ptr<TimerTicker>(),
                         .clock = &clock});
        return *logo;
    }

    PrivateSoundServer server;
    ControllerRig rig;
    FakeService& service = rig.service;
    SteadyClock clock;
    // The controller's own.
    ForwardingMeter* meter = nullptr;
    TimerTicker* ticker = nullptr;
    std::unique_ptr<LogoController> logo;
};

namespace {

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
    ASSERT_TRUE(server.enableSuspendOnIdle());
    auto& logo = makeController();
    ASSERT_EQ(logo.musicStatus(), kReacting);

    // Nothing plays: the capture pauses, the tick timer follows, and the sound device closes.
    ASSERT_TRUE(spinUntil([&] { return !ticker->isActive(); }, 5s));
    EXPECT_TRUE(spinUntil([&] { return server.sinkState() == "SUSPENDED"; }, 5s))
        << server.name() << " left the sink " << server.sinkState();
    const long before = wakeUpsOf("beamwick.audio");
    ASSERT_GE(before, 0);
    // Nothing periodic: at most one wake-up a second.
    spinUntil([] { return false; }, 1s);
    const long wakeUps = wakeUpsOf("beamwick.audio") - before;
    std::cout << "audio thread wake-ups in 1 s with nothing playing: " << wakeUps << std::endl;
    EXPECT_LE(wakeUps, 1);
    EXPECT_EQ(logo.musicStatus(), kReacting);

    // The device is asleep (SUSPENDED above): the kick must wake it and still flash.
    std::size_t seen = service.writeCount();
    TonePlayer player(server.address(), kickTrack({0.05, 0.6}, 1.0));
    ASSERT_TRUE(spinUntil([&] { return player.finished(); }, 5s));
    player.wait();
    ASSERT_TRUE(player.succeeded());
    // Both flashes have ended once the capture has paused again after the track.
    EXPECT_TRUE(spinUntil([&] { return !ticker->isActive(); }, 5s));
    EXPECT_EQ(flashesSince(service, seen), 2u) << "both kicks, the first right after the silence";
    EXPECT_DOUBLE_EQ(levelOf(service.writesOf(FakeService::tableKey).back()), 0.02)
        << "and each flash ended";
}

// The capture hands the detector the same blocks an offline run over the file would: played
// through the server, a drum track flashes the light at the blocks the offline run does. Every
// delivered block is 512 frames and a hole counts as silence, so counting blocks keeps stream
// time; only the silence before playback is unknown, which one shift of the whole run absorbs.
TEST_F(MusicModeTest, FlashesOfAPlayedDrumTrackMatchAnOfflineRunBlockForBlock)
{
    const auto drums = drumTrack(server.directory(), 6.0);
    ASSERT_FALSE(drums.empty()) << "sox could not make the drum track; see " << server.directory()
                                << "/sox.log";
    const auto offline = offlineFlashes(drums);
    service.reset();

    // Where the output runs ahead of the ear, the flash is only put off: counted at its beat.
    auto& logo = makeController(false);
    ASSERT_EQ(logo.musicStatus(), kReacting);
    std::vector<std::size_t> online;
    std::size_t blocks = 0;
    std::size_t seen = service.writeCount();
    meter->afterLevel = [&, deferred = 0]() mutable {
        const bool putOff = rig.flashTicker->starts > deferred;
        deferred = rig.flashTicker->starts;
        if (flashesSince(service, seen) > 0 || putOff)
            online.push_back(blocks);
        ++blocks;
    };

    // A player that runs dry adds silence to what is played, which would shift later flashes.
    TonePlayer player(server.address(), drums, 500ms);
    ASSERT_TRUE(spinUntil([&] { return player.finished(); }, 20s));
    player.wait();
    // The capture pauses after the track only once it has measured all of it.
    EXPECT_TRUE(spinUntil([&] { return !ticker->isActive(); }, 5s));
    ASSERT_TRUE(player.succeeded());
    meter->stop();
    ASSERT_FALSE(online.empty()) << "nothing flashed";
    ASSERT_FALSE(offline.empty());

    // The blocks start at a different frame online, so a kick may cross into the next block.
    std::vector<long> shifts;
    for (std::size_t i = 0; i < std::min(online.size(), offline.size()); ++i)
        shifts.push_back(long(online[i]) - long(offline[i]));
    std::nth_element(shifts.begin(), shifts.begin() + shifts.size() / 2, shifts.end());
    const long shift = shifts[shifts.size() / 2];
    std::size_t matched = 0;
    long worst = 0;
    for (std::size_t flash : offline) {
        const auto nearest = std::min_element(online.begin(), online.end(), [&](auto a, auto b) {
            return std::labs(long(a) - shift - long(flash)) <
                   std::labs(long(b) - shift - long(flash));
        });
        const long off = std::labs(long(*nearest) - shift - long(flash));
        if (off <= 1)
            ++matched;
        worst = std::max(worst, off);
    }
    std::cout << "online - offline (blocks):";
    for (std::size_t i = 0; i < std::min(online.size(), offline.size()); ++i)
        std::cout << ' ' << long(online[i]) - long(offline[i]);
    std::cout << '\n';
    std::cout << server.name() << ": flashes online " << online.size() << ", offline "
              << offline.size() << ", matched " << matched << ", max offset "
              << double(worst) * kBlockSeconds * 1000 << " ms (" << worst << " blocks)"
              << std::endl;

    EXPECT_GE(offline.size(), 8u) << "the track should flash on most of its kicks";
    EXPECT_EQ(online.size(), offline.size());
    EXPECT_EQ(matched, offline.size());
    EXPECT_LE(worst, 1);
}

// A 2.1 output may carry the bass on its LFE channel alone. Recorded in the output's own
// channel order it reaches the detector; a stream in the server's default order for three
// channels would be remixed first, and the remix drops the LFE.
TEST_F(MusicModeTest, KicksOnTheLfeChannelOfATwoPointOneOutputFlash)
{
    const std::string map = "front-left,front-right,lfe";
    ASSERT_FALSE(server
                     .pactl("load-module module-null-sink sink_name=lfe_sink rate=48000 "
                            "channels=3 channel_map=" +
                            map)
                     .empty());
    server.pactl("set-default-sink lfe_sink");
    ASSERT_TRUE(spinUntil(
        [&] { return PrivateSoundServer::defaultSink(server.pactl("info")) == "lfe_sink"; }, 5s));
    auto& logo = makeController();
    ASSERT_EQ(logo.musicStatus(), kReacting);

    const std::vector<double> kicks{0.4, 1.0, 1.6, 2.2};
    std::size_t seen = service.writeCount();
    TonePlayer player(server.address(), inOneChannel(kickTrack(kicks, 2.8), 2, 3), 200ms, map);
    ASSERT_TRUE(spinUntil([&] { return player.finished(); }, 30s));
    player.wait();
    ASSERT_TRUE(player.succeeded());
    EXPECT_TRUE(spinUntil([&] { return !ticker->isActive(); }, 5s));
    // A remix drops every kick; a loaded machine may cost one, or split one in two.
    EXPECT_GE(flashesSince(service, seen), kicks.size() - 1) << server.name();
}
