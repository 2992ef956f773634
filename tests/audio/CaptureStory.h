#pragma once

// What the capture stories run on, and what they check after every step: the real controller and
// meter over a sound server played by the test.
#include "audio/SoundServerMeter.h"
#include "testkit/fakes/ControllerRig.h"
#include "testkit/fakes/FakeSoundServer.h"
#include "testkit/fakes/ForwardingMeter.h"
#include "testkit/support/EventLoop.h"

#include <rapidcheck.h>

using namespace std::chrono_literals;

inline constexpr auto kBlock = std::chrono::microseconds(10667); // 512 frames at 48 kHz
inline constexpr auto kTick = 50ms;
inline constexpr auto kRetry = 2s;
inline constexpr auto kSetUp = 5s;
inline const char* const kSinks[] = {"speakers", "headphones", "hdmi", "gone"};

struct Model {};

struct Story {
    Story()
    {
        server->addSink("speakers");
        server->setDefault("speakers");
        SoundServerMeter::Options options;
        options.retryInterval = kRetry;
        options.setUpTimeout = kSetUp;
        options.soundServer = [server = server] { return server; };
        auto watched =
            std::make_unique<ForwardingMeter>(std::make_unique<SoundServerMeter>(options));
        meter = watched.get();
        meter->starting = [this] { blocksThisRun = 0; };
        // A level that reaches the controller while no block of this run has been measured
        // belongs to another run.
        meter->afterLevel = [this] { foreignLevels += !meter->isRunning() || blocksThisRun == 0; };
        rig.defaults.values.insert(QStringLiteral("mode"), QStringLiteral("Music"));
        logo = rig.make({.meter = std::move(watched)});
        startMusic([&] { logo->setOn(true); });
    }
    ~Story() { logo->setOn(false); }

    // (a) A start returns or throws within 5 s, whatever the server does meanwhile.
    void startMusic(const std::function<void()>& start)
    {
        const auto before = rig.clock.now();
        start();
        RC_ASSERT(rig.clock.now() - before <= 5s);
        changed();
    }
    // A change the server made just now, and whatever it sets off at once.
    void changedNow() { changed(), pass(0s); }
    void changed(std::chrono::steady_clock::duration settling = 1s)
    {
        using Duration = std::chrono::steady_clock::duration;
        const auto now = rig.clock.now();
        lastChange = now;
        // A connection that leaves a question unanswered is given up at the set-up deadline, and
        // a new one follows a retry later; the question about the default can hold up the one
        // about its sink. A listing left unanswered leaves the capture listening until it comes.
        const auto left = [&](FakeSoundServer::Ask ask) {
            return std::max<Duration>(hungUntil[int(ask)] - now, 0s);
        };
        const auto server = left(FakeSoundServer::Ask::defaultSink);
        const auto sink = left(FakeSoundServer::Ask::sink);
        // A question asked under an earlier hang is answered when that one ends, and the next
        // step's deadline only starts then.
        const auto earlier = std::max<Duration>(earlierHangEnd - now, 0s);
        const auto lookups = server > 0s || sink > 0s
                                 ? earlier + std::min<Duration>(server, kSetUp) +
                                       std::min<Duration>(sink, kSetUp) + kRetry
                                 : Duration{};
        const auto listings = left(FakeSoundServer::Ask::players);
        settledAt = std::max(settledAt, now + settling + std::max(lookups, listings));
    }
    // Lets time pass: the server runs, the controller's ticks come, its tasks run.
    void pass(std::chrono::steady_clock::duration time)
    {
        const auto until = rig.clock.now() + time;
        do {
            const auto step = std::min<std::chrono::steady_clock::duration>(
                kTick - (rig.clock.now().time_since_epoch() % kTick), until - rig.clock.now());
            server->advance(step);
            // What the audio thread posted meanwhile reaches the main thread before its tick.
            runPostedTasks();
            if (rig.clock.now().time_since_epoch() % kTick == 0s) {
                rig.ticker->tick();
                // The flash alarm rings up to a tick late, or early: neither shows a flash
                // before its time.
                rig.flashTicker->tick();
            }
            runPostedTasks();
        } while (rig.clock.now() < until);
        check();
    }
    void check() const;

    ControllerRig rig;
    std::shared_ptr<FakeSoundServer> server = std::make_shared<FakeSoundServer>(rig.clock);
    ForwardingMeter* meter = nullptr;
    int blocksThisRun = 0;
    int foreignLevels = 0;
    std::unique_ptr<LogoController> logo;
    std::chrono::steady_clock::time_point settledAt;
    // The last block of sound, and of anything (silence after sound may still ring).
    std::chrono::steady_clock::time_point lastSound;
    std::chrono::steady_clock::time_point lastBlock;
    std::chrono::steady_clock::time_point lastChange;
    std::chrono::steady_clock::time_point timingChanged;
    // Until when the connection of the moment leaves each kind of question unanswered.
    std::chrono::steady_clock::time_point hungUntil[3] = {};
    // The latest end of a hang that a later one of the same kind outlasts.
    std::chrono::steady_clock::time_point earlierHangEnd;
    // The longest any answer has been made to take.
    std::chrono::milliseconds slowest{0};
};

inline void Story::check() const
{
    // (d) No level of an earlier run reaches the controller.
    RC_ASSERT(foreignLevels == 0);
    // (e) "Reacting…" only while listening, or paused with nothing playing: never once the
    // loss of the server has been told.
    const bool reacting = logo->musicStatus() == kReacting;
    if (!server->up() && meter->isRunning())
        RC_ASSERT(logo->musicStatus().startsWith(QStringLiteral("Lost the audio (")));
    const auto now = rig.clock.now();
    const auto& stream = server->stream();
    // (c) Paused only once nothing was heard for half a second, since the stream began.
    if (meter->isRunning() && stream && stream->corked)
        RC_ASSERT(now - std::max(lastSound, stream->since) >= 500ms);
    // A stopped capture leaves neither connection nor timer behind, whatever it was doing, and
    // no flash waits for a beat it heard.
    if (!meter->isRunning()) {
        RC_ASSERT(!server->connected() && server->armedTimers() == 0u);
        RC_ASSERT(!rig.flashTicker->isActive());
    }
    if (now < settledAt || !meter->isRunning() || !server->up())
        return;
    const auto output = server->sinkIndex(server->defaultName());
    // (b) A second after the last change the capture records the current default's monitor.
    if (output) {
        RC_ASSERT(stream.has_value());
        RC_ASSERT(stream->ready);
        RC_ASSERT(stream->monitor == server->defaultName() + ".monitor");
    }
    // (f) ... and, while it plays, the controller knows which output that is and how far ahead
    // of the ear it runs, to the 5 ms it is shown to and the millisecond the capture rounds to,
    // once it has asked.
    if (output && stream && !stream->corked && now - stream->corkedAt >= 2s + slowest &&
        now - timingChanged >= 2s + slowest) {
        RC_ASSERT(logo->heardOutput().toStdString() == server->defaultName());
        // The stream's latency counts from the middle of a block.
        const auto lead = server->timing().output - server->timing().stream - kBlock / 2;
        RC_ASSERT(std::chrono::abs(logo->reportedLead() - lead) < 7ms);
    }
    // (c) ... and paused as soon as the listings can tell it nothing plays.
    const bool playing = output && server->playing(*output);
    if (stream && stream->corked)
        RC_ASSERT(!playing);
    const auto quietFor = now - std::max({lastBlock, lastChange, stream ? stream->since : now});
    if (stream && !playing && quietFor >= 500ms + 2 * slowest + 20ms)
        RC_ASSERT(stream->corked);
    // ... and while paused or waiting for an output nothing wakes up periodically: the
    // controller's ticks end with the first tick after the pause.
    if (!stream || stream->corked) {
        RC_ASSERT(server->armedTimers() == 0u);
        if (!stream || now - stream->corkedAt > kTick)
            RC_ASSERT(!rig.ticker->isActive());
    }
    // Which it is (b, c), and then it says so.
    RC_ASSERT(reacting);
}
