// Music's flash shown when its beat is heard: the output's lead over the capture, as the meter
// reports it, puts each flash off by that much.
#include "ControllerFixture.h"

namespace {

using namespace std::chrono_literals;

class FlashWhenHeardTest : public ControllerTest {
protected:
    // Music on, the light down to its floor, and an output heard `lead` after the capture.
    LogoController& music(std::chrono::microseconds lead)
    {
        auto& logo = make();
        logo.setOn(true);
        logo.setMode(LightMode::music);
        tick();
        meter->report({.output = "speakers", .outputLatency = lead + 20ms, .streamLatency = 20ms});
        return logo;
    }
    void beat() { meter->deliver(0.5, 0.0); }
    bool lit() { return writtenLevels().back() == 1.0; }
};

TEST_F(FlashWhenHeardTest, AFlashWaitsUntilItsBeatIsHeardAndLasts140MsFromThen)
{
    music(100ms);
    EXPECT_EQ(tablesWrittenBy([&] { beat(); }), 0u);
    ASSERT_TRUE(flashTicker->isActive());
    EXPECT_EQ(flashTicker->interval(), 100ms);

    // A timer that rings early shows nothing before its time, and rings again then.
    clock.advance(100ms - 1ns);
    EXPECT_EQ(tablesWrittenBy([&] { flashTicker->tick(); }), 0u);
    EXPECT_EQ(flashTicker->interval(), 1ms);
    clock.advance(1ns);
    flashTicker->tick();
    EXPECT_TRUE(lit());
    EXPECT_FALSE(flashTicker->isActive()) << "nothing ticks while no flash waits";

    // The refractory time counts from the beat as the capture heard it, the flash from its sound.
    clock.advance(80ms);
    EXPECT_FALSE(flashTicker->tick());
    beat();
    EXPECT_FALSE(flashTicker->isActive()) << "0.18 s after the first beat: too soon";
    clock.advance(1ms);
    beat();
    EXPECT_TRUE(flashTicker->isActive());
    clock.advance(59ms - 1ns);
    EXPECT_EQ(tablesWrittenBy([&] { tick(); }), 0u) << "still the first flash";
    clock.advance(1ns);
    tick();
    EXPECT_FALSE(lit()) << "the first flash ended 140 ms after it was heard";
}

TEST_F(FlashWhenHeardTest, ANonPositiveLeadFlashesAtOnceAndOnlyMusicsOwnRunCounts)
{
    const struct {
        std::chrono::microseconds output, stream;
    } atOnce[] = {{20ms, 20ms}, {10ms, 30ms}, {0ms, 0ms}};
    for (const auto& timing : atOnce) {
        auto& logo = music(0ms);
        meter->report(
            {.output = "speakers", .outputLatency = timing.output, .streamLatency = timing.stream});
        beat();
        EXPECT_TRUE(lit()) << timing.output.count() << " us over " << timing.stream.count();
        EXPECT_FALSE(flashTicker->isActive());
        logo.setOn(false);
    }

    // What a run reported goes with it, and a report outside Music is not taken.
    auto& logo = music(100ms);
    logo.setMode(LightMode::steady);
    meter->report({.output = "speakers", .outputLatency = 300ms});
    logo.setMode(LightMode::music);
    tick();
    beat();
    EXPECT_TRUE(lit());
}

TEST_F(FlashWhenHeardTest, AWaitingFlashGoesWithTheModeTheSwitchAndQuitting)
{
    const std::function<void(LogoController&)> endings[] = {
        [](LogoController& logo) { logo.setMode(LightMode::breathe); },
        [](LogoController& logo) { logo.setMode(LightMode::music); },
        [](LogoController& logo) { logo.setOn(false); },
        [this](LogoController&) { willTerminate.post(); },
    };
    for (const auto& end : endings) {
        auto& logo = music(100ms);
        beat();
        ASSERT_TRUE(flashTicker->isActive());
        end(logo);
        EXPECT_FALSE(flashTicker->isActive());
        clock.advance(100ms);
        EXPECT_EQ(tablesWrittenBy([&] { flashTicker->tick(); }), 0u);
    }
}

// The music stops before a flash is heard: the ticks fall asleep, and the flash wakes them to
// end it.
TEST_F(FlashWhenHeardTest, AFlashHeardWhileTheTicksSleepStillEnds)
{
    music(300ms);
    beat();
    meter->setFlowing(false);
    tick();
    ASSERT_FALSE(ticker->isActive());
    clock.advance(300ms);
    flashTicker->tick();
    EXPECT_TRUE(lit());
    ASSERT_TRUE(ticker->isActive());
    clock.advance(140ms);
    tick();
    EXPECT_FALSE(lit());
    EXPECT_FALSE(ticker->isActive()) << "asleep again once the flash has ended";
}

// The user's delay is kept for each output, saved, and added to what the server reports.
TEST_F(FlashWhenHeardTest, TheLightDelayIsEachOutputsOwnAndAddsToTheReportedLead)
{
    using number_settings::lightDelay;
    defaults.values.insert("lightDelays", QJsonObject{{"hdmi", "soon"}, {"usb", 5000.0}});
    auto& logo = make();
    EXPECT_TRUE(logo.setNumber(lightDelay, 100.0)) << "no output heard yet: refused";
    logo.setMode(LightMode::music);
    const auto hear = [&](const char* output, std::chrono::microseconds lead) {
        meter->report({.output = output, .outputLatency = lead});
    };
    hear("speakers", 20ms);
    EXPECT_FALSE(logo.setNumber(lightDelay, 100.0));
    hear("headphones", 0ms);
    EXPECT_EQ(logo.lightDelay(), 0.0) << "an output never seen";
    EXPECT_FALSE(logo.setNumber(lightDelay, -30.0));
    hear("usb", 0ms);
    EXPECT_EQ(logo.lightDelay(), 0.0) << "out of range in the file: none";

    hear("speakers", 20ms);
    EXPECT_EQ(logo.lightDelay(), 100.0);
    clock.advance(1s);
    beat();
    EXPECT_EQ(flashTicker->interval(), 120ms);
    clock.advance(120ms);
    flashTicker->tick();
    EXPECT_TRUE(lit());

    // Headphones run 20 ms ahead, and the user's -30 ms more than makes up for it.
    hear("headphones", 20ms);
    clock.advance(1s);
    beat();
    EXPECT_TRUE(lit());
    EXPECT_FALSE(flashTicker->isActive());

    // Saved for each output, the entries it could not read kept as they were.
    const auto saved = defaults.values.value("lightDelays").toObject();
    EXPECT_EQ(saved,
              (QJsonObject{
                  {"hdmi", "soon"}, {"usb", 5000.0}, {"speakers", 100.0}, {"headphones", -30.0}}));
    auto& again = make();
    again.setMode(LightMode::music);
    meter->report({.output = "speakers"});
    EXPECT_EQ(again.lightDelay(), 100.0);
}

} // namespace
