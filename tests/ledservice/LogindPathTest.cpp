#include "LedModuleFixture.h"
#include "testkit/services/PrivateSystemBus.h"

#include <chrono>

namespace {

class LogindPathTest : public LedModuleFixture {
protected:
    void SetUp() override
    {
        LedModuleFixture::SetUp();
        ASSERT_TRUE(bus.start()) << bus.errorText();
        setenv("DBUS_SYSTEM_BUS_ADDRESS", bus.address().c_str(), 1);
        tree.add("a::kbd_backlight", 128, 255);
        // A mock in Python on a busy machine may take longer than logind would; only the stall
        // test needs the real bound.
        setLedModuleLogindTimeout(2000);
    }
    void TearDown() override
    {
        setLedModuleLogindTimeout(0);
        LedModuleFixture::TearDown();
    }

    PrivateSystemBus bus;
};

} // namespace

TEST_F(LogindPathTest, WritesGoThroughLogindOnTheCallersSession)
{
    ASSERT_TRUE(bus.startLogind("accept")) << bus.errorText();
    auto bs = open();
    EXPECT_TRUE(bs->set(tableAt(*bs, 0.5), tableKey));
    EXPECT_TRUE(bs->set(off(), modeKey));
    EXPECT_EQ(bus.calls(),
              (std::vector<std::string>{"leds a::kbd_backlight 64", "leds a::kbd_backlight 0"}));
    // logind wrote it (or would have): the module did not touch the attribute itself.
    EXPECT_EQ(tree.brightness("a::kbd_backlight"), 128);
}

TEST_F(LogindPathTest, RefusedByLogindFallsBackToSysfs)
{
    ASSERT_TRUE(bus.startLogind("refuse")) << bus.errorText();
    auto bs = open();
    EXPECT_TRUE(bs->set(tableAt(*bs, 0.5), tableKey));
    EXPECT_EQ(bus.calls(), (std::vector<std::string>{"leds a::kbd_backlight 64"}));
    EXPECT_EQ(tree.brightness("a::kbd_backlight"), 64);
}

TEST_F(LogindPathTest, ABusWithoutLogindFallsBackToSysfs)
{
    auto bs = open();
    EXPECT_TRUE(bs->set(tableAt(*bs, 2.0), tableKey));
    EXPECT_EQ(tree.brightness("a::kbd_backlight"), 146);
}

TEST_F(LogindPathTest, AStalledLogindCostsOneShortWaitAndIsThenLeftAlone)
{
    ASSERT_TRUE(bus.startLogind("stall")) << bus.errorText();
    setLedModuleLogindTimeout(0);
    auto bs = open();
    const auto started = std::chrono::steady_clock::now();
    EXPECT_TRUE(bs->set(tableAt(*bs, 0.5), tableKey));
    // Thirty more writes that each waited 50 ms would take 1.5 s.
    for (int i = 0; i < 30; ++i)
        EXPECT_TRUE(bs->set(tableAt(*bs, i % 2 ? 1.0 : 0.5), tableKey));
    const auto took = std::chrono::steady_clock::now() - started;
    // The mock hangs for three seconds a call; the module waits for it once, and briefly.
    EXPECT_LT(took, std::chrono::seconds(1));
    EXPECT_EQ(tree.brightness("a::kbd_backlight"), 128);
    EXPECT_EQ(bus.calls(), (std::vector<std::string>{"leds a::kbd_backlight 64"}));
}
