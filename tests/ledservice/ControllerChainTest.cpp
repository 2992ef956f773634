// The whole chain: LogoController, the real Brightness client, the LED module and a fake LED.
#include "LedModuleFixture.h"
#include "control/LogoController.h"
#include "platform/WillTerminate.h"
#include "tests/fakes/FakeAudioMeter.h"
#include "tests/fakes/FakeClock.h"
#include "tests/fakes/MemoryDefaultsStore.h"

#include <QJsonArray>
#include <algorithm>
#include <memory>
#include <vector>

namespace {

constexpr const char* kLed = "a::kbd_backlight";

class ControllerChainTest : public LedModuleFixture {
protected:
    LogoController& start(const char* mode, double brightness)
    {
        defaults.values.insert("mode", mode);
        defaults.values.insert("brightness", brightness);
        defaults.values.insert("breatheSeconds", 5.0);
        LogoController::Environment env;
        env.brightness = open();
        env.meter = std::make_unique<FakeAudioMeter>();
        env.defaults = &defaults;
        env.clock = &clock;
        env.willTerminate = &willTerminate;
        env.fileExists = [](const std::string&) { return false; };
        logo = std::make_unique<LogoController>(std::move(env));
        return *logo;
    }

    // The LED's brightness after each of `count` timer ticks.
    std::vector<int> breathe(int count)
    {
        std::vector<int> seen;
        for (int i = 0; i < count; ++i) {
            logo->tick();
            seen.push_back(tree.brightness(kLed));
        }
        return seen;
    }

    MemoryDefaultsStore defaults;
    FakeClock clock;
    WillTerminate willTerminate;
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
    controller.setBrightness(8.0);
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
    willTerminate.post();
    EXPECT_EQ(tree.brightness(kLed), 0);
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
    std::vector<int> seen;
    for (int i = 0; i < 100; ++i) {
        logo->tick();
        seen.push_back(tree.brightness("apple::lid_logo"));
    }
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
