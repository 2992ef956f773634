#include "serviceabi/ServiceContract.h"
#include "tests/control/ControllerFixture.h"

using namespace std::chrono_literals;

// Waking from sleep in Music: the light is written again and capture is built anew, and what
// the old capture said of itself must not outlive it.
class LogoControllerResyncTest : public ControllerTest {
protected:
    LogoController& startInMusic()
    {
        defaults.values.insert("mode", "Music");
        auto& logo = make();
        tick(); // down to the floor
        return logo;
    }

    // A beat, then ticks until the flash has ended; true when 0.02 was written at its end.
    bool flashEndsOnTime()
    {
        meter->deliver(0.5, 0.0);
        if (writtenLevels().back() != 1.0)
            return false;
        clock.advance(140ms);
        tick();
        return writtenLevels().back() == 0.02;
    }
};

TEST_F(LogoControllerResyncTest, WakingAfterAPauseInTheMusicLeavesCaptureAsAFreshStartWould)
{
    auto& logo = startInMusic();
    meter->setFlowing(false); // nothing plays: the timer sleeps once the floor is written
    clock.advance(1s);
    ticker->tick();
    ASSERT_FALSE(ticker->isActive());

    // The machine wakes as a player resumes. The fresh capture records from the start and so
    // never reports that audio flows again; the levels simply arrive.
    const auto switches = service.writesOf(ServiceContract::backlightModeKey).size();
    sleep.post();
    EXPECT_EQ(meter->starts, 2);
    EXPECT_EQ(service.writesOf(ServiceContract::backlightModeKey).size(), switches + 1);
    EXPECT_EQ(logo.musicStatus(), kReacting);
    tick(); // the level goes out again although it is the one written last
    EXPECT_EQ(writtenLevels().back(), 0.02);
    for (int beat = 0; beat < 3; ++beat) {
        clock.advance(1s);
        EXPECT_TRUE(flashEndsOnTime()) << "beat " << beat;
        EXPECT_TRUE(ticker->isActive()) << "the timer stays awake while levels flow";
    }
}

TEST_F(LogoControllerResyncTest, WakingDuringAFlashEndsItOnTime)
{
    startInMusic();
    meter->deliver(0.5, 0.0);
    clock.advance(50ms);
    sleep.post();
    clock.advance(50ms);
    ASSERT_EQ(tablesWrittenBy([&] { tick(); }), 1u) << "the flash is written again after waking";
    EXPECT_EQ(writtenLevels().back(), 1.0);
    clock.advance(40ms);
    tick();
    EXPECT_EQ(writtenLevels().back(), 0.02);
}

TEST_F(LogoControllerResyncTest, WakingWhileTheSoundServerIsAwayKeepsReconnecting)
{
    auto& logo = startInMusic();
    meter->interrupt(MeterError("Listening", 11));
    const QString lost = logo.musicStatus();
    ASSERT_TRUE(lost.startsWith("Lost the audio (")) << lost.toStdString();

    // A capture cut off before the sleep is reconnecting by itself; a fresh start would fail,
    // and for good, while the server is still away.
    sleep.post();
    EXPECT_EQ(meter->stops, 0);
    EXPECT_EQ(logo.musicStatus(), lost);
    meter->interrupt(std::nullopt); // the server is back
    EXPECT_EQ(logo.musicStatus(), kReacting);
    clock.advance(1s);
    EXPECT_TRUE(flashEndsOnTime());

    // Lost and back before the next sleep: waking builds capture anew with a clean slate.
    meter->interrupt(MeterError("Listening", 11));
    meter->interrupt(std::nullopt);
    sleep.post();
    EXPECT_EQ(meter->stops, 1);
    EXPECT_TRUE(meter->isRunning());
    EXPECT_EQ(logo.musicStatus(), kReacting);

    // The server went away during the sleep itself: the fresh start fails and says so.
    meter->failure = MeterError("Connecting to the sound server", 6);
    sleep.post();
    EXPECT_TRUE(logo.musicStatus().startsWith("Couldn't listen to audio (Connecting to the sound "
                                              "server failed, code 6)"))
        << logo.musicStatus().toStdString();
}

// A light taken while it gave no table (away a moment) and back through the desktop's level is
// taken afresh, as a start that works: the error of the start that did not goes.
TEST_F(LogoControllerResyncTest, ALightBackFromAwayStartsCleanAndMusicWithoutATableSaysWhy)
{
    service.setProperty(ServiceContract::lightKey, PropertyValue::string("test::kbd_backlight"));
    service.setProperty(FakeService::tableKey, std::nullopt);
    defaults.values.insert("mode", "Music");
    DesktopLightNotice desktop;
    logo = std::make_unique<LogoController>(environment({.desktopLight = &desktop}));
    ASSERT_EQ(logo->lastError(), kNoTable);
    // Nothing can flash: no capture, and the status says why instead of claiming to react.
    const QString nothingToFlash = logo->musicStatus();
    EXPECT_FALSE(meter->isRunning());
    EXPECT_TRUE(nothingToFlash.startsWith("Not listening")) << nothingToFlash.toStdString();
    sleep.post();
    EXPECT_FALSE(meter->isRunning()) << "nor after waking";
    EXPECT_EQ(logo->musicStatus(), nothingToFlash);

    service.setProperty(FakeService::tableKey, PropertyValue::table({{10, 100}, {20, 400}}));
    desktop.serve(3);
    desktop.post(2);
    EXPECT_FALSE(logo->lastError().has_value());
    EXPECT_TRUE(meter->isRunning());
    EXPECT_EQ(logo->musicStatus(), kReacting);

    // Chosen, a light with no table stops the capture again.
    service.setProperty(FakeService::tableKey, std::nullopt);
    EXPECT_EQ(logo->chooseLight("test::kbd_backlight"), std::nullopt);
    EXPECT_FALSE(meter->isRunning());
    EXPECT_EQ(logo->musicStatus(), nothingToFlash);
}
