// The real executable in Music on a keyboard backlight found at 200 in umockdev's testbed, a
// private sound server and a mock logind that sends the machine to sleep and wakes it just as a
// player starts, as players resume on waking.
#include "testkit/audio/TonePlayer.h"
#include "testkit/fakes/FakeLedTree.h"
#include "testkit/services/PrivateSoundServer.h"
#include "testkit/services/PrivateSystemBus.h"
#include "testkit/support/Poll.h"
#include "tests/system/PrivateInstall.h"

#include <QProcess>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;

constexpr const char* kLed = "test::kbd_backlight";
// Level 1.0 is the brightness found; Music rests at 0.02 of it between beats.
constexpr int kFlash = 200;
constexpr int kRest = 4;
// The kick (from 0) by which the capture built on waking must be listening, 1.35 s after it.
constexpr int kListenByKick = 3;

using Clock = std::chrono::steady_clock;

// What the LED showed while a track played, sampled every 2 ms: when each flash began.
struct Watched {
    std::vector<Clock::time_point> onsets;
    int last = -1;
};

Watched watchWhilePlaying(const FakeLedTree& testbed, TonePlayer& player,
                          std::chrono::milliseconds after)
{
    Watched seen;
    bool lit = false;
    auto sample = [&] {
        const int now = testbed.brightness(kLed);
        // The testbed's attribute is a plain file, empty for a moment while it is rewritten.
        if (now < 0)
            return;
        if (now == kFlash && !lit)
            seen.onsets.push_back(Clock::now());
        lit = now == kFlash;
        seen.last = now;
    };
    pollUntil(
        [&] {
            sample();
            return player.finished();
        },
        60s);
    pollUntil(
        [&] {
            sample();
            return false;
        },
        after);
    return seen;
}

// Which kicks were answered by a flash beginning within a moment of leaving the sink, and the
// whole story in milliseconds after the wake-up for a failure to show. A kick heard within 0.18 s
// of the flash before it is rightly dropped: a capture that starts listening late may hear the
// first kick late and the next one barely after it, until it has caught up.
struct Answered {
    std::vector<bool> flashed;
    std::string timeline;
};

Answered answered(const TonePlayer& player, const std::vector<double>& kicks, const Watched& seen,
                  Clock::time_point woken)
{
    auto since = [&](Clock::time_point at) {
        return std::to_string(
            std::chrono::duration_cast<std::chrono::milliseconds>(at - woken).count());
    };
    Answered result;
    result.timeline = "kicks played at";
    for (const double at : kicks) {
        const auto played = player.playedAt(static_cast<std::size_t>(at * TonePlayer::rate));
        // Kicks are 250 ms apart; the estimate of when one played is good to a few ms.
        // Answered by a flash that began 60 ms before it at the earliest, or rightly dropped
        // after one that began less than 0.18 s before it.
        const bool flashed =
            played &&
            std::any_of(seen.onsets.begin(), seen.onsets.end(), [&](Clock::time_point onset) {
                return onset > *played - 180ms && onset < *played + 190ms;
            });
        result.flashed.push_back(flashed);
        result.timeline.append(" ").append(played ? since(*played) : std::string("?"));
    }
    result.timeline += "; flashes began at";
    for (const auto onset : seen.onsets)
        result.timeline.append(" ").append(since(onset));
    return result;
}

} // namespace

TEST(WakeInMusicTest, EveryFlashEndsAfterWakingAsAPlayerStarts)
{
    PrivateInstall install(BEAMWICK_LEDS_MODULE_PATH);
    ASSERT_TRUE(install.ready());
    FakeLedTree testbed;
    testbed.add({kLed, 255, kFlash, "[none] timer"});
    auto brightness = [&] { return testbed.brightness(kLed); };
    PrivateSystemBus bus;
    ASSERT_TRUE(bus.start()) << bus.errorText();
    ASSERT_TRUE(bus.startLogindManager()) << bus.errorText();
    PrivateSoundServer server;
    ASSERT_TRUE(server.start()) << server.errorText();
    ASSERT_TRUE(install.setSettings({{"mode", "Music"}, {"brightness", 1.0}}));

    QProcess beamwick;
    auto env = testbed.environment(install.environment());
    env.insert("PULSE_SERVER", QString::fromStdString(server.address()));
    // logind only sends the machine to sleep here: it has no session that could set brightness,
    // so the LED is written through its attribute in the testbed.
    env.insert("DBUS_SYSTEM_BUS_ADDRESS", QString::fromStdString(bus.address()));
    beamwick.setProcessEnvironment(env);
    beamwick.setProcessChannelMode(QProcess::ForwardedChannels);
    beamwick.start(install.executable(), {});
    ASSERT_TRUE(beamwick.waitForStarted(5000));
    ASSERT_TRUE(pollUntil([&] { return brightness() == kRest; }, 20s)) << "shows " << brightness();

    // The player's stream starts with the wake-up, its first kick a little later: capture built
    // anew on waking takes a moment to listen again, and a kick before that cannot flash. How
    // long a moment depends on the machine's load (and a sanitizer), so the first few kicks may
    // go unanswered; from the first flash on, none may. The race is between the fresh capture
    // and the stream, not the kick.
    std::vector<double> kicks;
    for (double at = 0.6; at < 2.5; at += 0.25)
        kicks.push_back(at);
    const auto track = kickTrack(kicks, 2.8);

    // The wake-up and the player's first audio race each other; each round gives the race
    // another chance to go the wrong way.
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        // Nothing has played for a while: the capture has paused.
        ASSERT_TRUE(pollUntil(
            [&] {
                return server.pactl("list source-outputs").find("Corked: yes") != std::string::npos;
            },
            20s, 50ms))
            << server.pactl("list source-outputs");
        // Going to sleep asks nothing of Beamwick; only the wake-up does.
        ASSERT_TRUE(bus.emitPrepareForSleep(true));
        ASSERT_TRUE(bus.emitPrepareForSleep(false));
        const auto woken = Clock::now();
        TonePlayer player(server.address(), track);
        const Watched seen = watchWhilePlaying(testbed, player, 400ms);
        player.wait();
        ASSERT_TRUE(player.succeeded());
        const Answered kicksAnswered = answered(player, kicks, seen, woken);
        const auto& flashed = kicksAnswered.flashed;
        const auto first = std::find(flashed.begin(), flashed.end(), true);
        EXPECT_LE(first - flashed.begin(), kListenByKick)
            << "the capture built on waking never listened in time: " << kicksAnswered.timeline;
        EXPECT_TRUE(std::all_of(first, flashed.end(), [](bool f) { return f; }))
            << "once listening, kicks went without a flash: " << kicksAnswered.timeline;
        EXPECT_EQ(seen.last, kRest) << "a flash did not end";
    }

    ::kill(static_cast<pid_t>(beamwick.processId()), SIGTERM);
    ASSERT_TRUE(beamwick.waitForFinished(10000));
    EXPECT_EQ(beamwick.exitCode(), 0);
    EXPECT_EQ(brightness(), kFlash) << "quitting hands the brightness found back";
}
