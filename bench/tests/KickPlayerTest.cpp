// The kick player against a real sound server: every kick is reported, played on the beat.
#include "harness/WriteLog.h"
#include "testkit/services/ChildProcess.h"
#include "testkit/services/PrivateSoundServer.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sstream>
#include <time.h>

using namespace std::chrono_literals;

namespace {

// Plays three seconds at 120 BPM on the sound server given in `server` and checks each kick's
// reported playing time.
void expectKicksOnTheBeat(const std::map<std::string, std::string>& server)
{
    QTemporaryDir dir;
    const std::string out = dir.filePath("kicks").toStdString();
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const long long startedNs = now.tv_sec * 1'000'000'000LL + now.tv_nsec;

    ChildProcess player;
    ASSERT_TRUE(player.start({KICK_PLAYER_EXECUTABLE,
                              {"--seconds", "3", "--bpm", "120", "--lead-in", "1"},
                              server,
                              out}));
    ASSERT_EQ(player.wait(20s), 0) << WriteLog::readAll(out);

    std::istringstream lines(WriteLog::readAll(out));
    std::vector<long long> played;
    std::string word, line;
    bool summary = false;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        words >> word;
        if (word == "onset") {
            long long index = 0, frame = 0;
            std::string when;
            words >> index >> frame >> when;
            EXPECT_EQ(frame, 48000 + 24000 * index);
            ASSERT_NE(when, "unknown");
            played.push_back(std::stoll(when));
        } else if (word == "played") {
            long long frames = 0;
            words >> frames;
            EXPECT_EQ(frames, 144000);
            summary = true;
        }
    }
    EXPECT_TRUE(summary);
    ASSERT_EQ(played.size(), 4u); // 1.0, 1.5, 2.0, 2.5 s
    // The first kick comes a lead-in after start, plus connecting and buffering.
    EXPECT_GT(played[0] - startedNs, 1'000'000'000LL);
    EXPECT_LT(played[0] - startedNs, 3'000'000'000LL);
    // The server plays in real time: the beat is kept to within a few milliseconds (the bound
    // leaves room for a machine busy with other tests, which delays the timing reports).
    for (std::size_t i = 1; i < played.size(); ++i)
        EXPECT_NEAR(static_cast<double>(played[i] - played[i - 1]) / 1e6, 500.0, 15.0);
}

} // namespace

TEST(KickPlayerTest, ReportsEachKickPlayedHalfASecondApartAfterItWasStarted)
{
    PrivateSoundServer services({.kind = PrivateSoundServer::Kind::pulseAudio});
    ASSERT_TRUE(services.start()) << services.errorText();
    expectKicksOnTheBeat({{"PULSE_SERVER", services.address()}});
}

// PipeWire's PulseAudio server answers the stream's timing queries itself, from its own graph.
TEST(KickPlayerTest, KeepsTheBeatOnPipeWireToo)
{
    PrivateSoundServer services({.kind = PrivateSoundServer::Kind::pipeWire, .standInSink = true});
    ASSERT_TRUE(services.start()) << services.errorText();
    expectKicksOnTheBeat({{"PULSE_SERVER", services.address()}});
}
