#include "serviceabi/ServiceContract.h"
#include "tests/control/ControllerFixture.h"
#include "tests/support/EventLoop.h"

#include <cmath>

namespace {
const QString kReacting = QStringLiteral("Reacting to the bass in your Mac's audio");
}

TEST_F(ControllerTest, ApplyLeavesEachModeAsDocumented)
{
    auto& logo = make();
    logo.setMode(LightMode::breathe);
    EXPECT_TRUE(logo.timerRunning());
    EXPECT_EQ(logo.phase(), 0.0);
    EXPECT_FALSE(meter->isRunning());

    logo.setMode(LightMode::music);
    EXPECT_TRUE(logo.timerRunning());
    EXPECT_TRUE(meter->isRunning());
    EXPECT_EQ(logo.musicStatus(), kReacting);
    const auto tau = service.writesOf(ServiceContract::followTauKey);
    ASSERT_EQ(tau.size(), 1u);
    EXPECT_TRUE(tau[0].isReal());
    EXPECT_EQ(tau[0].doubleValue(), 0.01);

    logo.setOn(false);
    EXPECT_FALSE(logo.timerRunning());
    EXPECT_FALSE(meter->isRunning());
    EXPECT_EQ(logo.musicStatus(), QString());

    logo.setOn(true);
    EXPECT_TRUE(meter->isRunning());
    EXPECT_EQ(logo.musicStatus(), kReacting);

    logo.setMode(LightMode::steady);
    EXPECT_FALSE(logo.timerRunning());
    EXPECT_FALSE(meter->isRunning());
    EXPECT_EQ(service.writesOf(ServiceContract::backlightModeKey).size(), 2u)
        << "apply() never switches";
}

TEST_F(ControllerTest, SelectingMusicAgainRestartsTheTimerAndKeepsCapture)
{
    auto& logo = make();
    logo.setMode(LightMode::music);
    logo.setMode(LightMode::music);
    EXPECT_EQ(service.writesOf(ServiceContract::followTauKey).size(), 2u);
    EXPECT_EQ(meter->stops, 1) << "only the start-up apply in Steady stopped it";
    EXPECT_TRUE(meter->isRunning());
    EXPECT_EQ(logo.musicStatus(), kReacting);
}

TEST_F(ControllerTest, MeterFailureIsShownAndTheTimerHoldsTheFloor)
{
    auto& logo = make();
    meter->failure = MeterError("Creating audio tap", -50);
    logo.setMode(LightMode::music);
    EXPECT_EQ(logo.musicStatus(),
              QStringLiteral("Couldn't listen to audio (Creating audio tap failed, code -50). "
                             "Allow Beamwick under System Settings → Privacy & Security → Screen "
                             "& System Audio Recording → System Audio Recording Only."));
    EXPECT_TRUE(logo.timerRunning());
    logo.tick();
    EXPECT_DOUBLE_EQ(writtenLevels().back(), 0.02);
}

TEST_F(ControllerTest, CaptureLossAndRecoveryShowInTheStatus)
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

TEST_F(ControllerTest, WhileNothingPlaysTheTimerSleepsOnceTheFlashHasEnded)
{
    auto& logo = make();
    logo.setMode(LightMode::music);
    meter->deliver(0.5, 0.0);
    meter->setFlowing(false); // the music stopped during a flash
    logo.tick();
    EXPECT_FALSE(logo.timerPaused()) << "the flash still has to be ended";
    clock.advance(std::chrono::milliseconds(150));
    logo.tick();
    EXPECT_DOUBLE_EQ(writtenLevels().back(), 0.02);
    EXPECT_TRUE(logo.timerPaused());
    EXPECT_EQ(logo.musicStatus(), kReacting);

    // Audio resumes: ticks come back before the first level, and a beat flashes and ends.
    meter->setFlowing(true);
    EXPECT_FALSE(logo.timerPaused());
    clock.advance(std::chrono::seconds(10));
    meter->deliver(0.5, 0.0);
    EXPECT_EQ(writtenLevels().back(), 1.0);
    clock.advance(std::chrono::milliseconds(150));
    logo.tick();
    EXPECT_DOUBLE_EQ(writtenLevels().back(), 0.02);
    EXPECT_FALSE(logo.timerPaused());

    // Leaving Music forgets the pause; the next capture starts out flowing.
    meter->setFlowing(false);
    logo.setMode(LightMode::breathe);
    logo.setMode(LightMode::music);
    logo.tick();
    EXPECT_FALSE(logo.timerPaused());
}

TEST_F(ControllerTest, SetLevelClampsSkipsSmallStepsAndRetriesRefusals)
{
    auto& logo = make(); // wrote 1.0
    logo.setLevel(0.0);
    EXPECT_EQ(logo.lastApplied(), 0.02);
    logo.setLevel(10.0);
    EXPECT_EQ(logo.lastApplied(), ServiceContract::topLevel);
    logo.setLevel(0.5);
    const auto count = tableWrites().size();
    logo.setLevel(0.503);
    EXPECT_EQ(tableWrites().size(), count);
    logo.setLevel(0.505);
    EXPECT_EQ(tableWrites().size(), count + 1);
    EXPECT_EQ(writtenLevels(),
              (std::vector<double>{1.0, 0.02, ServiceContract::topLevel, 0.5, 0.505}));

    service.setRefusing(FakeService::tableKey, true);
    logo.setLevel(0.7);
    logo.setLevel(0.7);
    EXPECT_EQ(tableWrites().size(), count + 3) << "a refused level is written again";
    EXPECT_EQ(logo.lastApplied(), 0.505);
}

TEST_F(ControllerTest, SetLevelScalesTheSecondNumberAndDropsTheRest)
{
    defaults.values.insert("baseMap", jsonTable({{40, 300}, {1, 2, 3}}));
    auto& logo = make();
    logo.setLevel(0.5);
    EXPECT_EQ(tableWrites().back().asTable(), (PropertyValue::Table{{40, 150}, {1, 1}}));
}

TEST_F(ControllerTest, NonFiniteSettingsNeverReachTheService)
{
    defaults.values.insert("mode", "Breathe");
    auto& logo = make();
    logo.setBrightness(std::nan(""));
    for (int i = 0; i < 20; ++i)
        logo.tick();
    for (const auto& table : tableWrites()) {
        const auto rows = table.asTable();
        ASSERT_TRUE(rows);
        for (const auto& row : *rows)
            EXPECT_TRUE(std::isfinite(row[1]));
    }

    logo.setBrightness(1.0);
    logo.setBreatheSeconds(0.0);
    logo.tick();
    logo.setBreatheSeconds(std::nan(""));
    logo.tick();
    EXPECT_TRUE(std::isfinite(logo.phase())) << "a bad breath length holds the breath";
    logo.setBreatheSeconds(5.0);
    const double before = logo.phase();
    logo.tick();
    EXPECT_DOUBLE_EQ(logo.phase(), before + 0.01);

    logo.setLevel(INFINITY);
    EXPECT_EQ(logo.lastApplied(), ServiceContract::topLevel);
}

TEST_F(ControllerTest, BreatheFirstBreathFollowsTheRaisedCosine)
{
    defaults.values.insert("mode", "Breathe");
    auto& logo = make();
    std::vector<int> written;
    for (int tick = 1; tick <= 100; ++tick) {
        const auto before = tableWrites().size();
        logo.tick();
        if (tableWrites().size() > before)
            written.push_back(tick);
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

TEST_F(ControllerTest, BeatThresholdScalesWithSensitivity)
{
    auto& logo = make();
    logo.setMode(LightMode::music);
    logo.tick(); // down to the floor, so that a flash is a write
    const auto base = tableWrites().size();
    meter->deliver(0.006, 0.005); // threshold 0.007 at sensitivity 1.5
    EXPECT_EQ(tableWrites().size(), base);
    meter->deliver(0.008, 0.005);
    EXPECT_EQ(tableWrites().size(), base + 1);
    EXPECT_EQ(writtenLevels().back(), 1.0);

    clock.advance(std::chrono::seconds(1));
    meter->deliver(0.002, 0.0); // the floor itself is never a beat
    clock.advance(std::chrono::seconds(1));
    logo.tick(); // back to 0.02
    const auto quiet = tableWrites().size();
    meter->deliver(0.002, 0.0);
    EXPECT_EQ(tableWrites().size(), quiet);
    meter->deliver(0.0021, 0.0);
    EXPECT_EQ(tableWrites().size(), quiet + 1);

    // Sensitivity 0 (only a hand-edited file) makes the threshold infinite: no beat, no crash.
    clock.advance(std::chrono::seconds(1));
    logo.tick();
    logo.setSensitivity(0.0);
    const auto none = tableWrites().size();
    meter->deliver(1.0, 0.1);
    meter->deliver(1.0, 0.0);
    EXPECT_EQ(tableWrites().size(), none);
}

TEST_F(ControllerTest, RefractoryPeriodAndFlashLength)
{
    auto& logo = make();
    logo.setMode(LightMode::music);
    logo.tick();
    EXPECT_DOUBLE_EQ(writtenLevels().back(), 0.02);

    meter->deliver(0.5, 0.0); // first beat is always accepted
    EXPECT_EQ(writtenLevels().back(), 1.0);
    clock.advance(std::chrono::milliseconds(100));
    logo.tick(); // flash still on: asks for 1.0 again, nothing written
    const auto duringFlash = tableWrites().size();
    meter->deliver(0.5, 0.0); // 0.1 s after the beat: dropped, lastBeat unmoved
    EXPECT_EQ(tableWrites().size(), duringFlash);
    clock.advance(std::chrono::milliseconds(50));
    logo.tick(); // 0.15 s: the flash is over
    EXPECT_DOUBLE_EQ(writtenLevels().back(), 0.02);
    clock.advance(std::chrono::milliseconds(50));
    meter->deliver(0.5, 0.0); // 0.2 s after the accepted beat
    EXPECT_EQ(writtenLevels().back(), 1.0);
}

TEST_F(ControllerTest, MusicWithoutBeatsWritesTheFloorOnce)
{
    auto& logo = make();
    logo.setMode(LightMode::music);
    const auto before = tableWrites().size();
    for (int i = 0; i < 40; ++i) {
        clock.advance(std::chrono::milliseconds(50));
        logo.tick();
    }
    EXPECT_EQ(tableWrites().size(), before + 1);
}

TEST_F(ControllerTest, TheTimerTicksOnTheEventLoop)
{
    defaults.values.insert("mode", "Breathe");
    auto& logo = make();
    ASSERT_TRUE(spinUntil([&] { return tableWrites().size() >= 3; }));
    EXPECT_GT(logo.phase(), 0.0);
}
