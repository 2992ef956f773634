// The whole chain: LogoController, the real Brightness client, the LED module and a fake LED.
#include "control/LogoController.h"
#include "platform/ChangeNotice.h"
#include "platform/LogindSleepNotice.h"
#include "serviceabi/ServiceContract.h"
#include "testkit/fakes/ControllerRig.h"
#include "testkit/services/PrivateSystemBus.h"
#include "testkit/support/EventLoop.h"
#include "tests/ledservice/LedModuleFixture.h"

#include <QJsonArray>
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr const char* kLed = "a::kbd_backlight";

class ControllerChainTest : public LedModuleFixture, protected ControllerRig {
protected:
    LogoController& start(const char* mode, double brightness)
    {
        defaults.values.insert("mode", mode);
        defaults.values.insert("brightness", brightness);
        defaults.values.insert("breatheSeconds", 5.0);
        logo = ControllerRig::make(
            {.brightness = open(), .sleepNotice = sleepNotice, .watchFile = watchFile});
        return *logo;
    }

    // The brightness of `led` after each of `count` timer ticks.
    std::vector<int> breathe(int count, const char* led = kLed)
    {
        std::vector<int> seen;
        for (int i = 0; i < count; ++i) {
            EXPECT_TRUE(ticker->tick());
            seen.push_back(tree.brightness(led));
        }
        return seen;
    }

    // The process ends with no chance to run anything (SIGKILL, a crash, a power cut): the
    // controller and its client go without a word to the LED.
    void kill() { logo.reset(); }

    double savedFactoryBrightness() const
    {
        return defaults.values.value("baseMap").toArray().at(0).toArray().at(0).toDouble();
    }

    // What the next start() watches instead of the rig's own wake-up notice and no file.
    SleepNotice* sleepNotice = nullptr;
    std::function<std::unique_ptr<ChangeNotice>(const std::string&)> watchFile;
    std::unique_ptr<LogoController> logo;
};

} // namespace

TEST_F(ControllerChainTest, SteadyShowsTheChosenBrightnessAndQuitHandsTheLedBack)
{
    tree.add(kLed, 128, 255);
    auto& controller = start("Steady", 0.5);
    ASSERT_FALSE(controller.lastError().has_value());
    EXPECT_TRUE(controller.isOn());
    EXPECT_EQ(defaults.values.value("baseMap").toArray().size(), 4);
    EXPECT_EQ(tree.brightness(kLed), 64);

    controller.setBrightness(2.0);
    EXPECT_EQ(tree.brightness(kLed), 146);
    controller.setBrightness(ServiceContract::topLevel);
    EXPECT_EQ(tree.brightness(kLed), 255);
    controller.setOn(false);
    EXPECT_EQ(tree.brightness(kLed), 0);
    controller.setOn(true);
    EXPECT_EQ(tree.brightness(kLed), 255);

    willTerminate.post();
    EXPECT_EQ(tree.brightness(kLed), 128);
}

TEST_F(ControllerChainTest, AnLedFoundOffStaysOffUntilSwitchedOn)
{
    tree.add(kLed, 0, 255);
    auto& controller = start("Steady", 1.0);
    EXPECT_FALSE(controller.isOn());
    EXPECT_EQ(tree.brightness(kLed), 0);
    controller.setOn(true);
    EXPECT_EQ(tree.brightness(kLed), 32);
    // Quitting does not switch the light: on, it shows level 1.0.
    willTerminate.post();
    EXPECT_EQ(tree.brightness(kLed), 32);
}

TEST_F(ControllerChainTest, ATableSavedByTheEarlierVersionStillDimsAndHandsBack)
{
    // What the earlier version saved for a 255-step LED: no brightness in the rows, so the LED
    // as found at load stays level 1.0, as it was then.
    defaults.values.insert("baseMap", QJsonArray{QJsonArray{64, 25, 1}, QJsonArray{128, 50, 2},
                                                 QJsonArray{191, 75, 3}, QJsonArray{255, 100, 4}});
    tree.add(kLed, 120, 255, "none [kbd-backlight]");
    bool watched = false;
    watchFile = [&](const std::string&) {
        watched = true;
        return std::make_unique<ChangeNotice>();
    };
    auto& controller = start("Steady", 0.5);
    ASSERT_FALSE(controller.lastError().has_value());
    EXPECT_EQ(tree.brightness(kLed), 60);
    // Without brightness_hw_changed there is nothing to watch.
    EXPECT_FALSE(watched);
    tree.write(kLed, "trigger", "[none] kbd-backlight\n");
    willTerminate.post();
    EXPECT_EQ(tree.brightness(kLed), 120);
    EXPECT_EQ(tree.text(kLed, "trigger"), "kbd-backlight\n");
    EXPECT_EQ(defaults.values.value("baseMap").toArray().at(3).toArray(),
              (QJsonArray{255, 100, 4}));
}

TEST_F(ControllerChainTest, AHotkeyChangeIsTheNewFactoryBrightnessNowAndAfterARestart)
{
    tree.add(kLed, 200, 255, "none [kbd-backlight]");
    tree.write(kLed, "brightness_hw_changed", "");
    ChangeNotice* notice = nullptr;
    std::string watched;
    watchFile = [&](const std::string& path) {
        watched = path;
        auto made = std::make_unique<ChangeNotice>();
        notice = made.get();
        return made;
    };
    start("Steady", 0.5);
    // Killed once: the trigger now reads none, Beamwick's own doing.
    kill();
    tree.write(kLed, "trigger", "[none] kbd-backlight\n");
    start("Steady", 0.5);
    EXPECT_EQ(tree.brightness(kLed), 100);
    ASSERT_NE(notice, nullptr);
    EXPECT_EQ(watched, (tree.root() / kLed / "brightness_hw_changed").string());

    // The firmware steps the backlight to 150 on a key press.
    tree.write(kLed, "brightness", "150\n");
    tree.write(kLed, "brightness_hw_changed", "150\n");
    notice->post();
    EXPECT_EQ(tree.brightness(kLed), 75);
    EXPECT_EQ(savedFactoryBrightness(), 150);
    tree.write(kLed, "trigger", "[none] kbd-backlight\n");
    willTerminate.post();
    EXPECT_EQ(tree.brightness(kLed), 150);
    EXPECT_EQ(tree.text(kLed, "trigger"), "kbd-backlight\n");
    kill();

    auto& again = start("Steady", 1.0);
    EXPECT_EQ(tree.brightness(kLed), 150);
    // Stepped down to nothing: the user switched the light off.
    tree.write(kLed, "brightness", "0\n");
    tree.write(kLed, "brightness_hw_changed", "0\n");
    notice->post();
    EXPECT_FALSE(again.isOn());
    EXPECT_EQ(tree.brightness(kLed), 0);
    EXPECT_EQ(savedFactoryBrightness(), 150);
    willTerminate.post();
    EXPECT_EQ(tree.brightness(kLed), 0);
}

TEST_F(ControllerChainTest, WakingWritesTheLightAgainAndRestartsCapture)
{
    tree.add(kLed, 200, 255);
    auto& controller = start("Music", 1.0);
    EXPECT_TRUE(ticker->tick());
    EXPECT_EQ(tree.brightness(kLed), 4);
    EXPECT_EQ(meter->starts, 1);

    // Reset while asleep. The engine writes a level only when it changes, so it never would.
    tree.write(kLed, "brightness", "0\n");
    EXPECT_TRUE(ticker->tick());
    ASSERT_EQ(tree.brightness(kLed), 0);
    sleep.post();
    EXPECT_EQ(tree.brightness(kLed), 4);
    EXPECT_EQ(meter->starts, 2);
    EXPECT_TRUE(meter->isRunning());

    // A light switched off stays off, whatever the firmware did.
    controller.setOn(false);
    tree.write(kLed, "brightness", "255\n");
    sleep.post();
    EXPECT_EQ(tree.brightness(kLed), 0);
    EXPECT_FALSE(meter->isRunning());
}

TEST_F(ControllerChainTest, LogindsWakeUpSignalReachesTheControllerThroughTheEventLoop)
{
    PrivateSystemBus bus;
    ASSERT_TRUE(bus.start()) << bus.errorText();
    ASSERT_TRUE(bus.startLogindManager()) << bus.errorText();
    // Only the notice listens on this bus; the LED module keeps writing through sysfs.
    const std::string unreachable = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
    setenv("DBUS_SYSTEM_BUS_ADDRESS", bus.address().c_str(), 1);
    LogindSleepNotice logind;
    setenv("DBUS_SYSTEM_BUS_ADDRESS", unreachable.c_str(), 1);
    ASSERT_TRUE(logind.connected());

    tree.add(kLed, 128, 255);
    sleepNotice = &logind;
    start("Steady", 0.5);
    EXPECT_EQ(tree.brightness(kLed), 64);
    int resumes = 0;
    QObject::connect(&logind, &SleepNotice::resumed, [&] { ++resumes; });
    // Let the bus take the match before anything is emitted.
    ASSERT_TRUE(spinUntil([&] { return logind.listening(); }));

    // Going to sleep is no waking: of the two signals, which arrive in order, only the second
    // is a resume.
    tree.write(kLed, "brightness", "0\n");
    ASSERT_TRUE(bus.emitPrepareForSleep(true));
    ASSERT_TRUE(bus.emitPrepareForSleep(false));
    EXPECT_TRUE(spinUntil([&] { return resumes >= 1; }));
    runPostedTasks();
    EXPECT_EQ(resumes, 1);
    EXPECT_TRUE(spinUntil([&] { return tree.brightness(kLed) == 64; }));
}

TEST_F(ControllerChainTest, BreatheRisesFromTheFloorToTheBrightnessAndBack)
{
    tree.add(kLed, 128, 255);
    start("Breathe", 1.0);
    const auto seen = breathe(100);

    EXPECT_EQ(seen.front(), 4); // level 0.030957
    EXPECT_EQ(seen[24], 66);    // a quarter breath: level 0.515
    EXPECT_EQ(seen[47], 128);   // level 0.996176, held through the peak
    EXPECT_EQ(seen.back(), 4);
    const auto peak = std::max_element(seen.begin(), seen.end());
    EXPECT_EQ(*peak, 128);
    EXPECT_TRUE(std::is_sorted(seen.begin(), peak));
    EXPECT_TRUE(std::is_sorted(seen.rbegin(), std::make_reverse_iterator(peak)));

    willTerminate.post();
    EXPECT_EQ(tree.brightness(kLed), 128);
}

TEST_F(ControllerChainTest, BreatheOnAnOnOffLogoLightsItForTheBrighterHalf)
{
    tree.add("apple::lid_logo", 1, 1);
    start("Breathe", 1.0);
    const auto seen = breathe(100, "apple::lid_logo");
    // Level 0.5 is crossed between ticks 24 and 25 going up and 75 and 76 coming down.
    std::vector<int> expected(100, 0);
    std::fill(expected.begin() + 24, expected.begin() + 75, 1);
    EXPECT_EQ(seen, expected);
}

TEST_F(ControllerChainTest, BreatheOnAThreeStepBacklightStepsUpAndDownThroughEachStep)
{
    tree.add(kLed, 2, 3);
    start("Breathe", 1.0);
    std::vector<int> steps;
    for (int b : breathe(100)) {
        if (steps.empty() || steps.back() != b)
            steps.push_back(b);
    }
    EXPECT_EQ(steps, (std::vector<int>{0, 1, 2, 1, 0}));
}
