#include "audio/SoundServerMeter.h"

#include "testkit/audio/TonePlayer.h"
#include "testkit/services/LateOutput.h"
#include "testkit/services/PrivateSoundServer.h"
#include "testkit/support/EventLoop.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iostream>
#include <optional>
#include <pulse/def.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

// The capture against a real sound server, one smoke test of each thing it does there: measure,
// start (and fail to), lose the server and get it back, follow the output. The orders of server
// events are walked by the capture stories over a server played by the test.

using namespace std::chrono_literals;

namespace {

// The filter's settled response to 60 Hz is about 0.686 of the amplitude.
constexpr double kSixtyHertzResponse = 0.686;

// This process's threads of that name.
int threadsNamed(const std::string& name)
{
    int count = 0;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream comm(task.path() / "comm");
        std::string line;
        std::getline(comm, line);
        count += line == name;
    }
    return count;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return -1;
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

} // namespace

// A private sound server and a meter pointed at it that records what it reports.
class SoundServerMeterTest : public ::testing::Test {
protected:
    using Clock = std::chrono::steady_clock;

    void SetUp() override { ASSERT_TRUE(server.start()) << server.errorText() << server.log(); }

    SoundServerMeter& makeMeter(SoundServerMeter::Options options = {})
    {
        options.server = server.address();
        meter = std::make_unique<SoundServerMeter>(std::move(options));
        meter->setOnLevel([this](double bass, double) { levels.push_back({Clock::now(), bass}); });
        meter->setOnInterruption(
            [this](const std::optional<MeterError>& lost) { interruptions.push_back(lost); });
        meter->setOnActivity([this](bool flowing) { activity.push_back(flowing); });
        return *meter;
    }
    // How many record streams named "Beamwick Listener" the server has.
    int listenerStreams() const
    {
        const std::string listed = server.pactl("list source-outputs");
        const std::string name = "media.name = \"Beamwick Listener\"";
        int count = 0;
        for (auto at = listed.find(name); at != std::string::npos; at = listed.find(name, at + 1))
            ++count;
        return count;
    }
    bool waitForMoreLevels(std::size_t count)
    {
        const std::size_t target = levels.size() + count;
        return spinUntil([&] { return levels.size() >= target; }, 5s);
    }
    // Plays the samples and returns the bass levels delivered while the middle of them played.
    std::vector<double> levelsDuring(std::vector<float> samples)
    {
        const std::chrono::duration<double> length(double(samples.size()) / 2 / TonePlayer::rate);
        TonePlayer player(server.address(), std::move(samples));
        EXPECT_TRUE(spinUntil([&] { return player.finished(); }, 10s));
        player.wait();
        EXPECT_TRUE(player.succeeded());
        const auto start = player.playedAt(0);
        if (!start)
            return {};
        const auto from = *start + std::chrono::duration_cast<Clock::duration>(length * 0.3);
        const auto to = from + std::chrono::duration_cast<Clock::duration>(length * 0.5);
        EXPECT_TRUE(spinUntil([&] { return !levels.empty() && levels.back().first >= to; }, 2s));
        std::vector<double> out;
        for (const auto& [at, bass] : levels)
            if (at >= from && at < to)
                out.push_back(bass);
        return out;
    }

    PrivateSoundServer server;
    std::unique_ptr<SoundServerMeter> meter;
    std::vector<std::pair<Clock::time_point, double>> levels;
    std::vector<std::optional<MeterError>> interruptions;
    // Each report that levels stop (false) or flow again (true).
    std::vector<bool> activity;
};

TEST_F(SoundServerMeterTest, ATwoKilohertzToneAndSilenceReadNearZero)
{
    makeMeter().start();
    const auto treble = levelsDuring(toneSamples(2000.0, 0.5, 1.5));
    ASSERT_GT(treble.size(), 20u);
    EXPECT_LT(median(treble), 0.005);

    const auto quiet = levelsDuring(silenceSamples(1.0));
    ASSERT_GT(quiet.size(), 20u);
    EXPECT_LT(*std::max_element(quiet.begin(), quiet.end()), 1e-4);
}

// A start without a server fails at the first step and leaves no thread behind; the same meter
// then starts once however often it is told to, and stops likewise.
TEST_F(SoundServerMeterTest, AStartWithoutAServerLeavesNothingAndALaterOneMakesOneStream)
{
    SoundServerMeter::Options options;
    options.server = server.address();
    server.stop();
    SoundServerMeter meter(options);
    try {
        meter.start();
        ADD_FAILURE() << "started without a server";
    } catch (const MeterError& error) {
        // The server's own words follow the code.
        EXPECT_EQ(error.errorDescription(),
                  "Connecting to the sound server failed, code 6: Connection refused");
    }
    EXPECT_FALSE(meter.isRunning());
    EXPECT_EQ(threadsNamed("beamwick.audio"), 0) << "the audio thread outlived the failed start";
    ASSERT_TRUE(server.start()) << server.errorText();
    meter.start();
    meter.start();
    EXPECT_TRUE(meter.isRunning());
    EXPECT_EQ(listenerStreams(), 1);
    EXPECT_EQ(threadsNamed("beamwick.audio"), 1);
    meter.stop();
    meter.stop();
    EXPECT_FALSE(meter.isRunning());
    EXPECT_EQ(listenerStreams(), 0);
}

TEST_F(SoundServerMeterTest, AServerThatNeverAnswersFailsTheStartInBoundedTime)
{
    // Accepts connections (the kernel does, into the backlog) but never says a word.
    const std::string path = server.directory() + "/mute";
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ASSERT_EQ(::listen(fd, 4), 0);

    SoundServerMeter::Options options;
    options.server = "unix:" + path;
    options.setUpTimeout = 300ms;
    SoundServerMeter meter(options);
    const auto started = Clock::now();
    try {
        meter.start();
        ADD_FAILURE() << "start() succeeded against a mute server";
    } catch (const MeterError& error) {
        EXPECT_EQ(error.step(), "Connecting to the sound server");
        EXPECT_EQ(error.status(), PA_ERR_TIMEOUT);
    }
    EXPECT_LT(Clock::now() - started, 3s);
    EXPECT_FALSE(meter.isRunning());
    ::close(fd);
}

TEST_F(SoundServerMeterTest, LosingTheServerIsReportedAndCaptureResumesWhenItReturns)
{
    SoundServerMeter::Options options;
    options.retryInterval = 300ms;
    auto& meter = makeMeter(options);
    meter.start();
    auto playing = std::make_unique<TonePlayer>(server.address(), silenceSamples(10));
    ASSERT_TRUE(waitForMoreLevels(5));

    server.kill();
    playing.reset();
    ASSERT_TRUE(spinUntil([&] { return !interruptions.empty(); }, 5s));
    ASSERT_TRUE(interruptions.front().has_value());
    EXPECT_EQ(interruptions.front()->step(), "Listening to audio");
    EXPECT_EQ(interruptions.front()->status(), PA_ERR_CONNECTIONTERMINATED);
    EXPECT_TRUE(meter.isRunning());

    const std::size_t before = levels.size();

    ASSERT_TRUE(server.start()) << server.errorText();
    ASSERT_TRUE(spinUntil([&] { return interruptions.size() == 2; }, 5s));
    EXPECT_FALSE(interruptions.back().has_value());
    EXPECT_TRUE(spinUntil([&] { return !activity.empty() && !activity.back(); }, 3s))
        << "with nothing playing on the new connection the capture did not pause";
    playing = std::make_unique<TonePlayer>(server.address(), silenceSamples(10));
    EXPECT_TRUE(waitForMoreLevels(5));
    EXPECT_GT(levels.size(), before);
    EXPECT_EQ(listenerStreams(), 1);

    meter.stop();
    EXPECT_EQ(listenerStreams(), 0);
}

// The capture hears whatever output is the default: one there from the start and then chosen,
// one plugged in and chosen, and the one left when the output heard goes away. Each time the
// capture has paused for want of playback, and a player on the new default wakes it. Moving is
// no failure: nothing is reported lost and capture never stops. The second output runs at
// another rate, so the filter must be designed anew for it to read the tone right.
TEST_F(SoundServerMeterTest, TheCaptureFollowsTheDefaultOutput)
{
    const std::string second = "second_sink";
    const auto plugIn = [&] {
        return server.pactl(
            "load-module module-null-sink norewinds=1 rate=44100 channels=2 sink_name=" + second);
    };
    enum class Move { chosen, pluggedInAndChosen, heardOneUnplugged };
    for (const Move move : {Move::chosen, Move::pluggedInAndChosen, Move::heardOneUnplugged}) {
        SCOPED_TRACE(int(move));
        std::string module = move == Move::pluggedInAndChosen ? "" : plugIn();
        if (move == Move::heardOneUnplugged)
            server.pactl("set-default-sink " + second);
        auto& meter = makeMeter();
        meter.start();
        ASSERT_TRUE(spinUntil([&] { return !activity.empty() && !activity.back(); }, 5s))
            << "the capture did not pause with nothing playing";

        if (move == Move::pluggedInAndChosen)
            module = plugIn();
        ASSERT_FALSE(module.empty()) << server.log();
        if (move == Move::heardOneUnplugged) {
            server.pactl("unload-module " + module);
            module.clear();
        } else {
            server.pactl("set-default-sink " + second);
        }
        const auto during = levelsDuring(toneSamples(60.0, 0.5, 2.0));
        EXPECT_TRUE(interruptions.empty());
        ASSERT_GT(during.size(), 20u);
        EXPECT_NEAR(median(during), 0.5 * kSixtyHertzResponse, 0.5 * kSixtyHertzResponse * 0.1);
        EXPECT_EQ(listenerStreams(), 1);

        meter.stop();
        server.pactl("set-default-sink test_sink");
        if (!module.empty())
            server.pactl("unload-module " + module);
        levels.clear();
        activity.clear();
    }
}

// An output heard later than its monitor, as a slow device plays: the capture reports what the
// server says of it.
TEST_F(SoundServerMeterTest, AnOutputHeardLaterIsReportedAsRunningAhead)
{
    std::optional<LateOutput> late(std::in_place, server, server.directory());
    ASSERT_TRUE(late->ready()) << server.log();
    std::vector<AudioMeter::OutputTiming> told;
    auto& meter = makeMeter();
    meter.setOnTiming([&](const AudioMeter::OutputTiming& timing) { told.push_back(timing); });
    meter.start();
    // PulseAudio counts what waits in the pipe once the tone fills it; PipeWire never does.
    const bool counts = server.kind() == PrivateSoundServer::Kind::pulseAudio;
    TonePlayer player(server.address(), toneSamples(60.0, 0.5, 4.0));
    ASSERT_TRUE(spinUntil(
        [&] {
            return !told.empty() && told.back().output == "late_sink" &&
                   (!counts || told.back().outputLatency > 50ms);
        },
        10s))
        << told.size() << " reports";
    // What `pactl list sinks` says of the sink's latency at that moment, while the tone plays.
    const auto listed = server.pactl("list sinks");
    const auto last = told.back();
    player.wait();
    meter.stop();
    late.reset();

    const auto sink = listed.find("Name: late_sink");
    ASSERT_NE(sink, std::string::npos) << listed;
    const auto latency = listed.find("Latency: ", sink);
    ASSERT_NE(latency, std::string::npos) << listed;
    const std::chrono::microseconds listedLatency(std::stol(listed.substr(latency + 9)));
    std::cout << server.name() << ": the capture was told " << last.outputLatency.count()
              << " us for " << last.output << " (stream " << last.streamLatency.count()
              << " us); pactl lists " << listedLatency.count() << " us" << std::endl;
    // The pipe's fill creeps while the tone plays, by a few milliseconds a second.
    EXPECT_LE(last.outputLatency, listedLatency + 50ms);
    EXPECT_GE(last.outputLatency, listedLatency - 50ms);
    // PipeWire's PulseAudio server reports no latency for such a sink, nor for a monitor's: the
    // user's delay is what covers it there.
    if (server.kind() == PrivateSoundServer::Kind::pulseAudio) {
        EXPECT_GT(last.lead(), 50ms);
    }
}
