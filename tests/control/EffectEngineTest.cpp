#include "platform/TimerTicker.h"
#include "serviceabi/ServiceContract.h"
#include "testkit/support/EventLoop.h"
#include "tests/control/ControllerFixture.h"

#include <cmath>

class EffectEngineTest : public ControllerTest {};

TEST_F(EffectEngineTest, ApplyLeavesEachModeAsDocumented)
{
    auto& logo = make();
    EXPECT_FALSE(ticker->isActive());
    logo.setMode(LightMode::breathe);
    EXPECT_TRUE(ticker->isActive());
    EXPECT_EQ(ticker->interval(), std::chrono::milliseconds(50));
    tick();
    EXPECT_NEAR(writtenLevels().back(), breathLevel(0.01), 1e-12) << "a breath starts afresh";
    EXPECT_FALSE(meter->isRunning());

    logo.setMode(LightMode::music);
    EXPECT_TRUE(ticker->isActive());
    EXPECT_TRUE(meter->isRunning());
    EXPECT_EQ(logo.musicStatus(), kReacting);
    EXPECT_EQ(service.writesOf(ServiceContract::followTauKey),
              std::vector{PropertyValue::real(0.01)});

    logo.setOn(false);
    EXPECT_FALSE(ticker->isActive());
    EXPECT_FALSE(meter->isRunning());
    EXPECT_EQ(logo.musicStatus(), QString());

    logo.setOn(true);
    EXPECT_TRUE(meter->isRunning());
    EXPECT_EQ(logo.musicStatus(), kReacting);

    logo.setMode(LightMode::steady);
    EXPECT_FALSE(ticker->isActive());
    EXPECT_FALSE(meter->isRunning());
    EXPECT_EQ(service.writesOf(ServiceContract::backlightModeKey).size(), 2u)
        << "apply() never switches";
    EXPECT_EQ(service.writesOf(ServiceContract::followTauKey).size(), 2u)
        << "only entering Music writes the follow time; leaving it writes none";

    // The engine never forgets what it wrote last: switching off and on, or a round of modes,
    // back at the level last written writes no table.
    logo.setBrightness(0.5);
    const auto offOnAndARoundOfModes = [&] {
        logo.setOn(false);
        logo.setOn(true);
        for (LightMode mode : {LightMode::music, LightMode::breathe, LightMode::steady})
            logo.setMode(mode);
    };
    EXPECT_EQ(tablesWrittenBy(offOnAndARoundOfModes), 0u);
    EXPECT_EQ(service.writesOf(ServiceContract::followTauKey).size(), 3u);

    // Breathe again starts the breath again.
    logo.setMode(LightMode::breathe);
    tick();
    EXPECT_NEAR(writtenLevels().back(), breathLevel(0.01, 0.5), 1e-12);
}

TEST_F(EffectEngineTest, SelectingMusicAgainRestartsTheTimerAndKeepsCapture)
{
    auto& logo = make();
    logo.setMode(LightMode::music);
    logo.setMode(LightMode::music);
    EXPECT_EQ(service.writesOf(ServiceContract::followTauKey).size(), 2u);
    EXPECT_EQ(meter->stops, 1) << "only the start-up apply in Steady stopped it";
    EXPECT_TRUE(meter->isRunning());
    EXPECT_EQ(logo.musicStatus(), kReacting);
}

TEST_F(EffectEngineTest, MeterFailureIsShownAndTheTimerHoldsTheFloor)
{
    auto& logo = make();
    meter->failure = MeterError("Connecting to the sound server", -50);
    logo.setMode(LightMode::music);
    EXPECT_EQ(logo.musicStatus(),
              QStringLiteral("Couldn't listen to audio (Connecting to the sound server failed, "
                             "code -50). Check that PulseAudio or PipeWire is running in your "
                             "session."));
    EXPECT_TRUE(ticker->isActive());
    tick();
    EXPECT_DOUBLE_EQ(writtenLevels().back(), 0.02);
}

TEST_F(EffectEngineTest, CaptureLossAndRecoveryShowInTheStatus)
{
    auto& logo = make();
    logo.setMode(LightMode::music);
    meter->interrupt(MeterError("Listening", 11));
    EXPECT_NE(logo.musicStatus(), kReacting) << "a lost capture must not claim to be reacting";
    EXPECT_TRUE(logo.musicStatus().contains("Listening failed, code 11"));
    meter->interrupt(std::nullopt);
    EXPECT_EQ(logo.musicStatus(), kReacting);

    // Choosing Music again while cut off restarts nothing that could capture: the loss stays.
    meter->interrupt(MeterError("Listening", 11));
    logo.setMode(LightMode::music);
    EXPECT_TRUE(logo.musicStatus().startsWith("Lost the audio ("))
        << logo.musicStatus().toStdString();
    meter->interrupt(std::nullopt);
    EXPECT_EQ(logo.musicStatus(), kReacting);

    logo.setMode(LightMode::steady);
    meter->interrupt(MeterError("Listening", 11));
    EXPECT_EQ(logo.musicStatus(), QString()) << "outside Music the status stays empty";
    logo.setMode(LightMode::music);
    EXPECT_EQ(logo.musicStatus(), kReacting) << "a fresh capture starts with a clean slate";
}

TEST_F(EffectEngineTest, WhileNothingPlaysTheTimerSleepsOnceTheFlashHasEnded)
{
    auto& logo = make();
    logo.setMode(LightMode::music);
    meter->deliver(0.5, 0.0);
    meter->setFlowing(false); // the music stopped during a flash
    tick();
    EXPECT_TRUE(ticker->isActive()) << "the flash still has to be ended";
    clock.advance(std::chrono::milliseconds(150));
    tick();
    EXPECT_DOUBLE_EQ(writtenLevels().back(), 0.02);
    EXPECT_FALSE(ticker->isActive());
    EXPECT_EQ(logo.musicStatus(), kReacting);

    // Audio resumes: ticks come back before the first level, and a beat flashes and ends.
    meter->setFlowing(true);
    EXPECT_TRUE(ticker->isActive());
    clock.advance(std::chrono::seconds(10));
    meter->deliver(0.5, 0.0);
    EXPECT_EQ(writtenLevels().back(), 1.0);
    clock.advance(std::chrono::milliseconds(150));
    tick();
    EXPECT_DOUBLE_EQ(writtenLevels().back(), 0.02);
    EXPECT_TRUE(ticker->isActive());

    // Leaving Music forgets the pause; the next capture starts out flowing.
    meter->setFlowing(false);
    logo.setMode(LightMode::breathe);
    logo.setMode(LightMode::music);
    tick();
    EXPECT_TRUE(ticker->isActive());
}

// Steady writes each brightness at once, so it shows what becomes of a level on its way out.
TEST_F(EffectEngineTest, LevelsAreClampedSmallStepsSkippedAndRefusalsRetried)
{
    auto& logo = make(); // wrote 1.0
    logo.setBrightness(0.0);
    EXPECT_EQ(tableWrites().back().asTable(), tableFor(0.02)) << "the floor of every level";
    logo.setBrightness(10.0);
    EXPECT_EQ(tableWrites().back().asTable(), tableFor(ServiceContract::topLevel));

    // A step of exactly the write threshold from the last level is written; the next double
    // below it is not. From 0.02 the difference of the two doubles is exactly 0.004.
    logo.setBrightness(0.02);
    const double step = 0.02 + 0.004;
    ASSERT_EQ(step - 0.02, 0.004);
    EXPECT_EQ(tablesWrittenBy([&] { logo.setBrightness(std::nextafter(step, 0.0)); }), 0u);
    EXPECT_EQ(tablesWrittenBy([&] { logo.setBrightness(step); }), 1u);
    EXPECT_EQ(tableWrites().back().asTable(), tableFor(step));

    logo.setBrightness(0.5);
    logo.setBrightness(0.503);
    logo.setBrightness(0.505);
    EXPECT_EQ(writtenLevels(),
              (std::vector<double>{1.0, 0.02, ServiceContract::topLevel, 0.02, step, 0.5, 0.505}));

    service.setRefusing(FakeService::tableKey, true);
    for (int time = 0; time < 2; ++time)
        EXPECT_EQ(tablesWrittenBy([&] { logo.setBrightness(0.7); }), 1u)
            << "a refused level is written again";
    // What was last written is still 0.505: a step too small from there writes nothing.
    service.setRefusing(FakeService::tableKey, false);
    EXPECT_EQ(tablesWrittenBy([&] { logo.setBrightness(0.507); }), 0u);
    EXPECT_EQ(tablesWrittenBy([&] { logo.setBrightness(0.7); }), 1u);
}

TEST_F(EffectEngineTest, WrittenTablesScaleTheSecondNumberAndDropTheRest)
{
    defaults.values.insert("baseMap", jsonTable({{40, 300}, {1, 2, 3}}));
    auto& logo = make();
    logo.setBrightness(0.5);
    EXPECT_EQ(tableWrites().back().asTable(), (PropertyValue::Table{{40, 150}, {1, 1}}));
}

TEST_F(EffectEngineTest, NonFiniteSettingsNeverReachTheService)
{
    defaults.values.insert("mode", "Breathe");
    auto& logo = make();
    logo.setBrightness(std::nan(""));
    tick(20);
    EXPECT_TRUE(tableWrites().empty()) << "a level that is not a number is not written";

    // A bad breath length holds the breath where it is (20 ticks of 5 s: phase 0.2), and a good
    // one goes on from there.
    logo.setBrightness(1.0);
    logo.setBreatheSeconds(0.0);
    tick();
    logo.setBreatheSeconds(std::nan(""));
    tick();
    logo.setBreatheSeconds(5.0);
    tick();
    const auto levels = writtenLevels();
    ASSERT_EQ(levels.size(), 2u);
    EXPECT_NEAR(levels[0], breathLevel(0.2), 1e-12);
    EXPECT_NEAR(levels[1], breathLevel(0.21), 1e-12);

    logo.setMode(LightMode::steady);
    logo.setBrightness(INFINITY);
    EXPECT_EQ(writtenLevels().back(), ServiceContract::topLevel);
    for (const auto& table : tableWrites()) {
        const auto rows = table.asTable();
        ASSERT_TRUE(rows);
        for (const auto& row : *rows)
            EXPECT_TRUE(std::isfinite(row[1]));
    }
}

TEST_F(EffectEngineTest, BreatheFirstBreathFollowsTheRaisedCosine)
{
    defaults.values.insert("mode", "Breathe");
    make();
    std::vector<int> written;
    for (int n = 1; n <= 100; ++n)
        if (tablesWrittenBy([&] { tick(); }) > 0)
            written.push_back(n);
    const auto levels = writtenLevels();
    EXPECT_EQ(written.size(), 93u);
    EXPECT_EQ(written.front(), 1);
    EXPECT_NEAR(levels.front(), 0.030957, 1e-6);
    // The first tick is one 0.05 s step into the breath, from its floor of 0.03, to the bit.
    EXPECT_EQ(levels.front(), breathLevel(0.05 / 5.0));
    EXPECT_EQ(tableWrites().front().asTable(), tableFor(breathLevel(0.05 / 5.0)));
    EXPECT_EQ(written[1], 3) << "tick 2 is too close to tick 1";
    const auto at48 = std::find(written.begin(), written.end(), 48);
    ASSERT_NE(at48, written.end());
    EXPECT_NEAR(levels[at48 - written.begin()], 0.996176, 1e-6);
    EXPECT_EQ(*(at48 + 1), 53) << "ticks 49 to 52 sit within 0.004 of the peak";
    EXPECT_LT(written.back(), 99);
}

TEST_F(EffectEngineTest, ABeatMustClearTheBassFloorAndTheScaledAverage)
{
    using namespace std::chrono_literals;
    auto& logo = make();
    logo.setMode(LightMode::music);
    // Each candidate comes a second after the last, once a tick has ended any flash (back at
    // 0.02), so that neither the refractory period nor the write threshold decides.
    auto flashes = [&](double bass, double average) {
        clock.advance(1s);
        tick();
        return tablesWrittenBy([&] { meter->deliver(bass, average); }) > 0;
    };
    EXPECT_FALSE(flashes(0.006, 0.005)); // threshold 0.007 at sensitivity 1.5
    EXPECT_TRUE(flashes(0.008, 0.005));
    EXPECT_EQ(tableWrites().back().asTable(), tableFor(1.0)) << "a beat lights the brightness";

    // Exactly at the threshold is no beat; the next double up is. Higher sensitivity lowers it.
    for (double s : {0.5, 1.0, 1.5, 3.0}) {
        logo.setSensitivity(s);
        const double threshold = 0.005 * (0.6 / s + 1.0);
        EXPECT_FALSE(flashes(threshold, 0.005)) << "sensitivity " << s;
        EXPECT_TRUE(flashes(std::nextafter(threshold, 1.0), 0.005)) << "sensitivity " << s;
    }
    // Over a silent average only the bass floor decides, and the floor itself is no beat.
    EXPECT_FALSE(flashes(0.002, 0.0));
    EXPECT_TRUE(flashes(std::nextafter(0.002, 1.0), 0.0));

    // Sensitivity 0 (only a hand-edited file) makes the threshold infinite: no beat, no crash.
    logo.setSensitivity(0.0);
    EXPECT_FALSE(flashes(1.0, 0.1));
    EXPECT_FALSE(flashes(1.0, 0.0));
}

TEST_F(EffectEngineTest, AFlashLasts140MsAndTheNextBeatComesOnlyAfter180Ms)
{
    using namespace std::chrono_literals;
    auto& logo = make();
    logo.setMode(LightMode::music);
    tick();
    EXPECT_EQ(tableWrites().back().asTable(), tableFor(0.02)) << "Music holds 0.02 between beats";

    meter->deliver(0.5, 0.0); // the first beat is always accepted
    EXPECT_EQ(writtenLevels().back(), 1.0);
    const auto beat = [&] { meter->deliver(0.5, 0.0); };
    clock.advance(140ms - 1ns);
    // Still flashing: the tick asks for 1.0 again, which is not written again.
    EXPECT_EQ(tablesWrittenBy([&] { tick(); }), 0u);
    clock.advance(1ns);
    ASSERT_EQ(tablesWrittenBy([&] { tick(); }), 1u) << "the first tick at the flash's end";
    EXPECT_EQ(tableWrites().back().asTable(), tableFor(0.02));

    clock.advance(40ms); // exactly 0.18 s after the beat: dropped, and the last beat stays put
    EXPECT_EQ(tablesWrittenBy(beat), 0u);
    clock.advance(1ms);
    EXPECT_EQ(tablesWrittenBy(beat), 1u);
    EXPECT_EQ(writtenLevels().back(), 1.0);
}

// A level posted just before Music was left arrives after it: it must not light the logo at
// full brightness in the mode that now drives it.
TEST_F(EffectEngineTest, ALevelArrivingAfterMusicEndedFlashesNothing)
{
    auto& logo = make();
    logo.setMode(LightMode::music);
    tick(); // down to 0.02, so that a flash would be written
    logo.setMode(LightMode::breathe);
    EXPECT_EQ(tablesWrittenBy([&] { meter->deliver(0.5, 0.0); }), 0u);
}

TEST_F(EffectEngineTest, MusicWithoutBeatsWritesTheFloorOnce)
{
    auto& logo = make();
    logo.setMode(LightMode::music);
    const auto before = tableWrites().size();
    for (int i = 0; i < 40; ++i) {
        clock.advance(std::chrono::milliseconds(50));
        tick();
    }
    EXPECT_EQ(tableWrites().size(), before + 1);
}

TEST_F(EffectEngineTest, TheTimerTicksOnTheEventLoop)
{
    defaults.values.insert("mode", "Breathe");
    logo = ControllerRig::make({.ticker = std::make_unique<TimerTicker>()});
    ASSERT_TRUE(spinUntil([&] { return tableWrites().size() >= 3; }));
    const auto levels = writtenLevels();
    EXPECT_TRUE(std::is_sorted(levels.begin(), levels.end())) << "the breath rises";
}
