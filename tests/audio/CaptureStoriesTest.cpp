// The capture in Music mode over a sound server played by the test: random stories of server
// events, with what must hold checked after every step.
#include "audio/PulseAudioMeter.h"
#include "testkit/fakes/ControllerRig.h"
#include "testkit/fakes/FakeSoundServer.h"
#include "testkit/support/EventLoop.h"

#include <gtest/gtest.h>
#include <rapidcheck.h>
#include <rapidcheck/gtest.h>
#include <rapidcheck/state.h>

using namespace std::chrono_literals;
using Ask = FakeSoundServer::Ask;

namespace {

const QString kReacting = QStringLiteral("Reacting to the bass in your Mac's audio");
constexpr auto kBlock = std::chrono::microseconds(10667); // 512 frames at 48 kHz
constexpr auto kTick = 50ms;
constexpr auto kRetry = 2s;
constexpr auto kSetUp = 5s;
const char* const kSinks[] = {"speakers", "headphones", "hdmi", "gone"};

// The meter as the controller has it, with a count of levels that reached the controller's
// callback while no block of the current run had yet been measured (they belong to another run).
class WatchedMeter final : public AudioMeter {
public:
    explicit WatchedMeter(std::unique_ptr<AudioMeter> inner) : m_inner(std::move(inner)) {}
    void setOnLevel(LevelCallback callback) override
    {
        m_inner->setOnLevel([this, callback = std::move(callback)](double bass, double average) {
            if (!isRunning() || blocksThisRun == 0)
                ++foreignLevels;
            callback(bass, average);
        });
    }
    void setOnInterruption(InterruptionCallback callback) override
    {
        m_inner->setOnInterruption(std::move(callback));
    }
    void setOnActivity(ActivityCallback callback) override
    {
        m_inner->setOnActivity(std::move(callback));
    }
    void start() override
    {
        blocksThisRun = 0;
        m_inner->start();
    }
    void stop() noexcept override { m_inner->stop(); }
    bool isRunning() const override { return m_inner->isRunning(); }

    int blocksThisRun = 0;
    int foreignLevels = 0;

private:
    std::unique_ptr<AudioMeter> m_inner;
};

struct Model {};

struct Story {
    Story()
    {
        server->addSink("speakers");
        server->setDefault("speakers");
        PulseAudioMeter::Options options;
        options.retryInterval = kRetry;
        options.setUpTimeout = kSetUp;
        options.soundServer = [server = server] { return server; };
        auto watched = std::make_unique<WatchedMeter>(std::make_unique<PulseAudioMeter>(options));
        meter = watched.get();
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
    void changed(std::chrono::steady_clock::duration settling = 1s)
    {
        lastChange = rig.clock.now();
        settledAt = std::max(settledAt, rig.clock.now() + settling);
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
            if (rig.clock.now().time_since_epoch() % kTick == 0s)
                rig.ticker->tick();
            runPostedTasks();
        } while (rig.clock.now() < until);
        check();
    }
    void check() const;

    ControllerRig rig;
    std::shared_ptr<FakeSoundServer> server = std::make_shared<FakeSoundServer>(rig.clock);
    WatchedMeter* meter = nullptr;
    std::unique_ptr<LogoController> logo;
    std::chrono::steady_clock::time_point settledAt;
    // The last block of sound, and of anything (silence after sound may still ring).
    std::chrono::steady_clock::time_point lastSound;
    std::chrono::steady_clock::time_point lastBlock;
    std::chrono::steady_clock::time_point lastChange;
    // The longest any answer has been made to take.
    std::chrono::milliseconds slowest{0};
};

void Story::check() const
{
    // (d) No level of an earlier run reaches the controller.
    RC_ASSERT(meter->foreignLevels == 0);
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
    if (now < settledAt || !meter->isRunning() || !server->up())
        return;
    const auto output = server->sinkIndex(server->defaultName());
    // (b) A second after the last change the capture records the current default's monitor.
    if (output) {
        RC_ASSERT(stream.has_value());
        RC_ASSERT(stream->ready);
        RC_ASSERT(stream->monitor == server->defaultName() + ".monitor");
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

using Step = rc::state::Command<Model, Story>;

struct AddSink : Step {
    std::string name = *rc::gen::elementOf(std::vector<std::string>(kSinks, kSinks + 3));
    void run(const Model&, Story& s) const override
    {
        if (!s.server->sinkIndex(name))
            s.server->addSink(name);
        s.changed();
        s.pass(0s);
    }
    void show(std::ostream& os) const override { os << "add sink " << name; }
};

struct RemoveSink : AddSink {
    void run(const Model&, Story& s) const override
    {
        s.server->removeSink(name);
        s.changed();
        s.pass(0s);
    }
    void show(std::ostream& os) const override { os << "remove sink " << name; }
};

struct ChooseDefault : Step {
    std::string name = *rc::gen::elementOf(std::vector<std::string>(kSinks, kSinks + 4));
    void run(const Model&, Story& s) const override
    {
        s.server->setDefault(name);
        s.changed();
        s.pass(0s);
    }
    void show(std::ostream& os) const override { os << "default " << name; }
};

struct LoseServer : Step {
    std::chrono::milliseconds away{*rc::gen::inRange(0, 6000)};
    void run(const Model&, Story& s) const override
    {
        s.server->loseServer();
        s.pass(away);
        s.server->restoreServer();
        s.changed(kRetry + 1s);
        s.pass(0s);
    }
    void show(std::ostream& os) const override
    {
        os << "server lost for " << away.count() << " ms";
    }
};

struct Stream : Step {
    bool kill = *rc::gen::arbitrary<bool>();
    bool suspend = *rc::gen::arbitrary<bool>();
    void run(const Model&, Story& s) const override
    {
        if (kill)
            s.server->killStream();
        s.server->suspendStream(suspend);
        s.changed();
        s.pass(0s);
    }
    void show(std::ostream& os) const override
    {
        os << (kill ? "stream killed, " : "") << (suspend ? "suspended" : "awake");
    }
};

struct Player : Step {
    int which = *rc::gen::inRange(0, 4);
    int what = *rc::gen::inRange(0, 4);
    bool listedPaused = *rc::gen::arbitrary<bool>();
    void run(const Model&, Story& s) const override
    {
        const auto id = static_cast<std::uint32_t>(which) + 100;
        // An arrival can be listed as paused for a while, as PipeWire lists a stream that has
        // only just started: its sound alone must keep the capture listening.
        if (what == 0)
            s.server->addPlayer(s.server->defaultName(), listedPaused);
        else if (what == 1)
            s.server->removePlayer(id);
        else
            s.server->corkPlayer(id, what == 2);
        s.changed();
        s.pass(0s);
    }
    void show(std::ostream& os) const override
    {
        const char* what_[] = {"player arrives", "player leaves", "player pauses", "player plays"};
        os << what_[what] << (what == 0 && listedPaused ? " listed as paused" : "") << " ("
           << which + 100 << ")";
    }
};

struct Delays : Step {
    Ask ask = *rc::gen::element(Ask::defaultSink, Ask::sink, Ask::players);
    std::chrono::milliseconds delay{*rc::gen::inRange(0, 150)};
    void run(const Model&, Story& s) const override
    {
        s.server->setDelay(ask, delay);
        s.slowest = std::max(s.slowest, delay);
    }
    void show(std::ostream& os) const override
    {
        os << "answers of kind " << int(ask) << " take " << delay.count() << " ms";
    }
};

// The server hangs over one kind of request for a while, often past the capture's set-up
// deadline: to the capture, answers that never come.
struct Hang : Step {
    Ask ask = *rc::gen::element(Ask::defaultSink, Ask::sink, Ask::players);
    std::chrono::milliseconds time{*rc::gen::inRange(1000, 12000)};
    void run(const Model&, Story& s) const override
    {
        s.server->hang(ask, time);
        s.changed(time + kSetUp + kRetry + 1s);
        s.pass(0s);
    }
    void show(std::ostream& os) const override
    {
        os << "answers of kind " << int(ask) << " hang for " << time.count() << " ms";
    }
};

struct Audio : Step {
    int blocks = *rc::gen::inRange(1, 60);
    bool loud = *rc::gen::arbitrary<bool>();
    void run(const Model&, Story& s) const override
    {
        for (int block = 0; block < blocks; ++block) {
            if (s.server->feed(loud ? 0.5f : 0.0f)) {
                ++s.meter->blocksThisRun;
                s.lastBlock = s.rig.clock.now();
                if (loud)
                    s.lastSound = s.lastBlock;
            }
            s.pass(kBlock);
        }
    }
    void show(std::ostream& os) const override
    {
        os << blocks << " blocks of " << (loud ? "sound" : "silence");
    }
};

struct Wait : Step {
    std::chrono::milliseconds time{*rc::gen::inRange(10, 3000)};
    void run(const Model&, Story& s) const override { s.pass(time); }
    void show(std::ostream& os) const override { os << "wait " << time.count() << " ms"; }
};

// A beat measured, and Music left before its level arrived; then Music chosen again, before
// or after the level's turn came.
struct Restart : Step {
    bool arriveInBreathe = *rc::gen::arbitrary<bool>();
    void run(const Model&, Story& s) const override
    {
        if (s.server->feed(0.5f)) {
            ++s.meter->blocksThisRun;
            s.lastBlock = s.lastSound = s.rig.clock.now();
        }
        s.server->advance(0s);
        s.logo->setMode(LightMode::breathe);
        if (arriveInBreathe)
            s.pass(0s);
        s.startMusic([&] { s.logo->setMode(LightMode::music); });
        s.pass(0s);
    }
    void show(std::ostream& os) const override
    {
        os << "a beat, Breathe" << (arriveInBreathe ? " (the beat's level arrives)" : "")
           << ", Music again";
    }
};

} // namespace

RC_GTEST_PROP(CaptureStories, WhatTheServerDoesTheCaptureFollowsAndSleepsWhenItCan, ())
{
    Model model;
    Story story;
    rc::state::check(
        model, story,
        rc::state::gen::execOneOfWithArgs<AddSink, RemoveSink, ChooseDefault, LoseServer, Stream,
                                          Player, Delays, Hang, Audio, Wait, Restart>());
}
