#include "platform/TimerTicker.h"
#include "serviceabi/ServiceContract.h"
#include "testkit/support/EventLoop.h"
#include "tests/control/ControllerFixture.h"

#include <cmath>

class EffectEngineTest : public ControllerTest {};

namespace {
const QString kReacting = QStringLiteral("Reacting to the bass in your Mac's audio");
}

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
    const auto tau = service.writesOf(ServiceContract::followTauKey);
    ASSERT_EQ(tau.size(), 1u);
    EXPECT_TRUE(tau[0].isReal());
    EXPECT_EQ(tau[0].doubleValue(), 0.01);

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

    // Breathe again starts the breath again.
    logo.setMode(LightMode::breathe);
    tick();
    EXPECT_NEAR(writtenLevels().back(), breathLevel(0.01), 1e-12);
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
    meter->failure = MeterError("Creating audio tap", -50);
    logo.setMode(LightMode::music);
    EXPECT_EQ(logo.musicStatus(),
              QStringLiteral("Couldn't listen to audio (Creating audio tap failed, code -50). "
                             "Allow Beamwick under System Settings → Privacy & Security → Screen "
                             "& System Audio Recording → System Audio Recording Only."));
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
    logo.setBrightness(10.0);
    logo.setBrightness(0.5);
    const auto count = tableWrites().size();
    logo.setBrightness(0.503);
    EXPECT_EQ(tableWrites().size(), count);
    logo.setBrightness(0.505);
    EXPECT_EQ(tableWrites().size(), count + 1);
    EXPECT_EQ(writtenLevels(),
              (std::vector<double>{1.0, 0.02, ServiceContract::topLevel, 0.5, 0.505}));

    service.setRefusing(FakeService::tableKey, true);
    logo.setBrightness(0.7);
    logo.setBrightness(0.7);
    EXPECT_EQ(tableWrites().size(), count + 3) << "a refused level is written again";
    // What was last written is still 0.505: a step too small from there writes nothing.
    service.setRefusing(FakeService::tableKey, false);
    logo.setBrightness(0.507);
    EXPECT_EQ(tableWrites().size(), count + 3);
    logo.setBrightness(0.7);
    EXPECT_EQ(tableWrites().size(), count + 4);
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
    for (int n = 1; n <= 100; ++n) {
        const auto before = tableWrites().size();
        tick();
        if (tableWrites().size() > before)
            written.push_back(n);
    }
    const auto levels = writtenLevels();
    EXPECT_EQ(written.size(), 93u);
    EXPECT_EQ(written.front(), 1);
    EXPECT_NEAR(levels.front(), 0.030957, 1e-6);
    EXPECT_EQ(written[1], 3) << "tick 2 is too close to tick 1";
    const auto at48 = std::find(written.begin(), written.end(), 48);
    ASSERT_NE(at48, written.end());
    EXPECT_NEAR(levels[at48 - written.begin()], 0.996176, 1e-6);
    EXPECT_EQ(*(at48 + 1), 53) << "ticks 49 to 52 sit within 0.004 of the peak";
    EXPECT_LT(written.back(), 99);
}

TEST_F(EffectEngineTest, BeatThresholdScalesWithSensitivity)
{
    auto& logo = make();
    logo.setMode(LightMode::music);
    tick(); // down to the floor, so that a flash is a write
    const auto base = tableWrites().size();
    meter->deliver(0.006, 0.005); // threshold 0.007 at sensitivity 1.5
    EXPECT_EQ(tableWrites().size(), base);
    meter->deliver(0.008, 0.005);
    EXPECT_EQ(tableWrites().size(), base + 1);
    EXPECT_EQ(writtenLevels().back(), 1.0);

    clock.advance(std::chrono::seconds(1));
    meter->deliver(0.002, 0.0); // the floor itself is never a beat
    clock.advance(std::chrono::seconds(1));
    tick(); // back to 0.02
    const auto quiet = tableWrites().size();
    meter->deliver(0.002, 0.0);
    EXPECT_EQ(tableWrites().size(), quiet);
    meter->deliver(0.0021, 0.0);
    EXPECT_EQ(tableWrites().size(), quiet + 1);

    // Sensitivity 0 (only a hand-edited file) makes the threshold infinite: no beat, no crash.
    clock.advance(std::chrono::seconds(1));
    tick();
    logo.setSensitivity(0.0);
    const auto none = tableWrites().size();
    meter->deliver(1.0, 0.1);
    meter->deliver(1.0, 0.0);
    EXPECT_EQ(tableWrites().size(), none);
}

TEST_F(EffectEngineTest, RefractoryPeriodAndFlashLength)
{
    auto& logo = make();
    logo.setMode(LightMode::music);
    tick();
    EXPECT_DOUBLE_EQ(writtenLevels().back(), 0.02);

    meter->deliver(0.5, 0.0); // first beat is always accepted
    EXPECT_EQ(writtenLevels().back(), 1.0);
    clock.advance(std::chrono::milliseconds(100));
    tick(); // flash still on: asks for 1.0 again, nothing written
    const auto duringFlash = tableWrites().size();
    meter->deliver(0.5, 0.0); // 0.1 s after the beat: dropped, lastBeat unmoved
    EXPECT_EQ(tableWrites().size(), duringFlash);
    clock.advance(std::chrono::milliseconds(50));
    tick(); // 0.15 s: the flash is over
    EXPECT_DOUBLE_EQ(writtenLevels().back(), 0.02);
    clock.advance(std::chrono::milliseconds(50));
    meter->deliver(0.5, 0.0); // 0.2 s after the accepted beat
    EXPECT_EQ(writtenLevels().back(), 1.0);
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
    auto env = environment();
    env.ticker = std::make_unique<TimerTicker>();
    logo = std::make_unique<LogoController>(std::move(env));
    ASSERT_TRUE(spinUntil([&] { return tableWrites().size() >= 3; }));
    const auto levels = writtenLevels();
    EXPECT_TRUE(std::is_sorted(levels.begin(), levels.end())) << "the breath rises";
}
