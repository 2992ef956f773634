// Runs under umockdev-run with leds.umockdev: the module finds its LED in the real
// /sys/class/leds, with no test hook, as it does on a user's machine.
#include "brightness/Brightness.h"
#include "serviceabi/ServiceContract.h"
#include "testkit/services/FileText.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <string>

namespace {

std::string attribute(const std::string& led, const char* name)
{
    return fileText("/sys/class/leds/" + led + "/" + name);
}

void setAttribute(const std::string& led, const char* name, const std::string& text)
{
    std::ofstream("/sys/class/leds/" + led + "/" + name) << text;
}

} // namespace

TEST(UmockdevDiscoveryTest, DrivesTheLidLogoAndHandsItBackWithItsTrigger)
{
    Brightness bs(BEAMWICK_LEDS_MODULE_PATH);
    ASSERT_TRUE(bs.available());
    const auto factory = bs.get(ServiceContract::tableKey);
    ASSERT_TRUE(factory);

    EXPECT_TRUE(bs.set(PropertyValue::integer(0), ServiceContract::backlightModeKey));
    EXPECT_EQ(std::stoi(attribute("test::lid_logo", "brightness")), 0);
    EXPECT_EQ(std::stoi(attribute("test::kbd_backlight", "brightness")), 100);
    // The kernel drops the trigger on a write of 0; the testbed does not, so do it here.
    setAttribute("test::lid_logo", "trigger", "[none] default-on");

    // Handed back while off, it stays off; switched on, it gets its trigger back too.
    EXPECT_TRUE(bs.set(*factory, ServiceContract::tableKey));
    EXPECT_EQ(std::stoi(attribute("test::lid_logo", "brightness")), 0);
    EXPECT_EQ(attribute("test::lid_logo", "trigger"), "[none] default-on");
    EXPECT_TRUE(bs.set(PropertyValue::integer(1), ServiceContract::backlightModeKey));
    EXPECT_TRUE(bs.set(*factory, ServiceContract::tableKey));
    EXPECT_EQ(std::stoi(attribute("test::lid_logo", "brightness")), 1);
    EXPECT_EQ(attribute("test::lid_logo", "trigger"), "default-on\n");
}

TEST(UmockdevDiscoveryTest, BeamwickLedPicksTheKeyboardBacklight)
{
    setenv("BEAMWICK_LED", "test::kbd_backlight", 1);
    Brightness bs(BEAMWICK_LEDS_MODULE_PATH);
    unsetenv("BEAMWICK_LED");
    ASSERT_TRUE(bs.available());
    const auto factory = bs.get(ServiceContract::tableKey)->asTable().value();
    PropertyValue::Table half;
    for (const auto& row : factory)
        half.push_back({row[0], row[1] * 0.5});
    EXPECT_TRUE(bs.set(PropertyValue::table(half), ServiceContract::tableKey));
    EXPECT_EQ(std::stoi(attribute("test::kbd_backlight", "brightness")), 50);
}
