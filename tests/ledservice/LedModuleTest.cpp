#include "LedModuleFixture.h"
#include "ledservice/LedService.h"
#include "ledservice/SwitchMemory.h"
#include "ledservice/SysfsLedFiles.h"
#include "serviceabi/FactoryRows.h"
#include "serviceabi/ServiceContract.h"

#include <cmath>
#include <functional>
#include <linux/capability.h>
#include <string>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

class LedModuleTest : public LedModuleFixture {
protected:
    // Which of `names` the module drives: the one that goes dark when it is switched off.
    std::string driven(const std::vector<std::string>& names)
    {
        auto bs = open();
        if (bs->get(ServiceContract::lightKey)->stringValue().empty())
            return "(none)";
        EXPECT_TRUE(bs->set(off(), modeKey));
        std::string found;
        for (const auto& name : names) {
            if (tree.brightness(name) == 0)
                found += name;
            tree.write(name, "brightness", "9\n");
        }
        return found;
    }
};

} // namespace

TEST_F(LedModuleTest, PrefersTheLidLogoThenAnyLogoThenAKeyboardBacklight)
{
    const std::vector<std::string> names = {"input3::capslock", "tpacpi::kbd_backlight",
                                            "platform::logo", "apple::lid_logo"};
    for (const auto& name : names)
        tree.add(name, 9, 255);
    // Not an LED without max_brightness, whatever its name says.
    tree.add("broken::lid_logo", 9, 255);
    std::filesystem::remove(tree.root() / "broken::lid_logo" / "max_brightness");

    for (const char* next : {"apple::lid_logo", "platform::logo", "tpacpi::kbd_backlight"}) {
        EXPECT_EQ(driven(names), next);
        tree.remove(next);
    }
    EXPECT_EQ(driven(names), "(none)");
}

TEST_F(LedModuleTest, BeamwickLedNamesTheLedButNeverOneOutsideTheFolder)
{
    tree.add("input3::capslock", 9, 1);
    tree.add("a::kbd_backlight", 9, 255);
    FakeLedTree outside;
    outside.add("victim", 9, 255);

    setenv("BEAMWICK_LED", "input3::capslock", 1);
    EXPECT_EQ(driven({"input3::capslock", "a::kbd_backlight"}), "input3::capslock");

    const std::string escape = "../" + outside.root().filename().string() + "/victim";
    for (const std::string& unusable : {escape, std::string(".."), std::string(""),
                                        std::string("no::such_led"), std::string(".")}) {
        SCOPED_TRACE(unusable);
        setenv("BEAMWICK_LED", unusable.c_str(), 1);
        EXPECT_EQ(driven({"input3::capslock", "a::kbd_backlight"}), "a::kbd_backlight");
    }
    EXPECT_EQ(outside.brightness("victim"), 9);
}

TEST_F(LedModuleTest, WithoutAnLedTheRulesTakeTheClientDrivesOnlyOneNamedToIt)
{
    tree.add("input3::capslock", 1, 1);
    auto bs = open();
    EXPECT_EQ(bs->get(ServiceContract::lightKey)->stringValue(), "");
    EXPECT_FALSE(bs->set(off(), modeKey));
    // The user's saved choice, which no rule would pick.
    EXPECT_TRUE(
        bs->set(PropertyValue::string("input3::capslock"), ServiceContract::preferredLightKey));
    EXPECT_TRUE(bs->set(off(), modeKey));
    EXPECT_EQ(tree.brightness("input3::capslock"), 0);
    pointLedModuleAt("/nonexistent/leds");
    EXPECT_FALSE(open()->set(off(), modeKey));
}

TEST_F(LedModuleTest, FactoryTableCarriesTheBrightnessTriggerAndLedAsFound)
{
    tree.add("a::kbd_backlight", 200, 255, "none [kbd-backlight]");
    const auto code = FactoryRows::triggerCode("kbd-backlight");
    const auto led = FactoryRows::ledCode("a::kbd_backlight");
    EXPECT_EQ(open()->get(tableKey)->asTable().value(),
              (PropertyValue::Table{{200, 25, 1, code, led},
                                    {200, 50, 2, code, led},
                                    {200, 75, 3, code, led},
                                    {200, 100, 4, code, led}}));
    tree.write("a::kbd_backlight", "brightness", "0\n");
    EXPECT_EQ(open()->get(tableKey)->asTable().value().front(),
              (std::vector<double>{0, 25, 1, code, led}));
}

TEST_F(LedModuleTest, LevelsSetTheBrightnessOnFineCoarseAndOnOffLeds)
{
    struct Case {
        unsigned max;
        unsigned found;
        std::vector<std::pair<double, int>> expected;
    };
    const std::vector<Case> cases = {
        {255,
         128,
         {{1.0, 128},
          {0.02, 3},
          {0.03, 4},
          {0.5, 64},
          {2.0, 146},
          {ServiceContract::topLevel, 255}}},
        {3, 2, {{1.0, 2}, {0.02, 0}, {0.5, 1}, {ServiceContract::topLevel, 3}}},
        {1,
         1,
         {{1.0, 1}, {0.02, 0}, {0.03, 0}, {0.49, 0}, {0.5, 1}, {ServiceContract::topLevel, 1}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "max_brightness " << c.max);
        FakeLedTree own;
        own.add("x::kbd_backlight", c.found, c.max);
        pointLedModuleAt(own.root());
        auto bs = open();
        ASSERT_TRUE(bs->available());
        for (const auto& [level, brightness] : c.expected) {
            EXPECT_TRUE(bs->set(tableAt(*bs, level), tableKey)) << level;
            EXPECT_EQ(own.brightness("x::kbd_backlight"), brightness) << level;
            // Dimmed to step 0 is not switched off.
            EXPECT_EQ(bs->get(modeKey), on()) << level;
        }
    }
}

TEST_F(LedModuleTest, SwitchingOnShowsTheTableWrittenWhileOff)
{
    tree.add("a::kbd_backlight", 128, 255);
    auto bs = open();
    EXPECT_EQ(bs->get(modeKey)->integerValue(), 1);

    EXPECT_TRUE(bs->set(off(), modeKey));
    EXPECT_EQ(tree.brightness("a::kbd_backlight"), 0);
    EXPECT_EQ(bs->get(modeKey)->integerValue(), 0);
    EXPECT_TRUE(bs->set(tableAt(*bs, 0.5), tableKey));
    EXPECT_EQ(tree.brightness("a::kbd_backlight"), 0);

    EXPECT_TRUE(bs->set(PropertyValue::integer(7), modeKey));
    EXPECT_EQ(tree.brightness("a::kbd_backlight"), 64);
    EXPECT_TRUE(bs->set(PropertyValue::real(0.0), modeKey));
    EXPECT_EQ(tree.brightness("a::kbd_backlight"), 0);
    EXPECT_TRUE(bs->set(PropertyValue::real(1.0), modeKey));
    EXPECT_EQ(tree.brightness("a::kbd_backlight"), 64);
}

// Whatever the key, a value it does not take is refused and changes nothing.
TEST_F(LedModuleTest, FollowTauIsKeptAndRefusedWritesChangeNothing)
{
    tree.add("a::kbd_backlight", 128, 255);
    auto bs = open();
    ASSERT_TRUE(bs->set(tableAt(*bs, 0.5), tableKey));
    ASSERT_EQ(tree.brightness("a::kbd_backlight"), 64);
    const char* tauKey = ServiceContract::followTauKey;
    EXPECT_TRUE(bs->set(PropertyValue::real(0.01), tauKey));
    EXPECT_EQ(bs->get(tauKey), PropertyValue::real(0.01));

    using PV = PropertyValue;
    const std::pair<const char*, PV> refused[] = {
        {modeKey, PV::real(0.5)},
        {modeKey, PV::string("1")},
        {modeKey, PV::real(std::nan(""))},
        {modeKey, PV::array({})},
        {tableKey, PV::integer(1)},
        {tableKey, PV::table({{10, 100}, {20, 400}})},
        {tableKey, PV::table({{1, 2}, {1, 2}, {1, 2}, {1, -2}})},
        {tableKey, PV::table({{1, 2}, {1, 2}, {1, 2}, {1, std::nan("")}})},
        {tableKey, PV::array({PV::integer(1), PV::integer(2), PV::integer(3), PV::integer(4)})},
        {tauKey, PV::real(-1)},
        {tauKey, PV::real(INFINITY)},
        {tauKey, PV::string("0.1")},
        {"LEUnknownKey", PV::integer(1)},
    };
    for (int row = 0; const auto& [key, value] : refused)
        EXPECT_FALSE(bs->set(value, key)) << key << ", row " << row++;
    EXPECT_EQ(tree.brightness("a::kbd_backlight"), 64);
    EXPECT_EQ(bs->get(tauKey), PV::real(0.01));
    EXPECT_FALSE(bs->get("LEUnknownKey").has_value());
    // The level kept is still the last accepted one.
    ASSERT_TRUE(bs->set(off(), modeKey));
    ASSERT_TRUE(bs->set(on(), modeKey));
    EXPECT_EQ(tree.brightness("a::kbd_backlight"), 64);
}

TEST_F(LedModuleTest, TheWholeFactoryTableHandsBackBrightnessAndTriggerOnlyWhileOn)
{
    tree.add("a::kbd_backlight", 77, 255, "none [kbd-backlight] timer");
    auto bs = open();
    const auto factory = bs->get(tableKey).value();

    ASSERT_TRUE(bs->set(tableAt(*bs, 0.5), tableKey));
    EXPECT_EQ(tree.brightness("a::kbd_backlight"), 39);
    ASSERT_TRUE(bs->set(off(), modeKey));
    // What the kernel does on a write of 0.
    tree.write("a::kbd_backlight", "trigger", "[none] kbd-backlight timer\n");

    // Level 1.0 in two numbers a row is dimming, kept while off; the whole rows are the restore,
    // which leaves a light that is off dark and without a trigger that could light it.
    EXPECT_TRUE(bs->set(tableAt(*bs, 1.0), tableKey));
    EXPECT_EQ(tree.brightness("a::kbd_backlight"), 0);
    EXPECT_TRUE(bs->set(factory, tableKey));
    EXPECT_EQ(tree.brightness("a::kbd_backlight"), 0);
    EXPECT_EQ(tree.text("a::kbd_backlight", "trigger"), "[none] kbd-backlight timer\n");
    EXPECT_EQ(bs->get(modeKey)->integerValue(), 0);

    ASSERT_TRUE(bs->set(on(), modeKey));
    EXPECT_TRUE(bs->set(factory, tableKey));
    EXPECT_EQ(tree.brightness("a::kbd_backlight"), 77);
    EXPECT_EQ(tree.text("a::kbd_backlight", "trigger"), "kbd-backlight\n");
    EXPECT_EQ(bs->get(modeKey)->integerValue(), 1);
}

TEST_F(LedModuleTest, AnLedFoundOffLightsAtTheFallbackAndIsHandedBackAsItIs)
{
    tree.add("a::kbd_backlight", 0, 255);
    auto bs = open();
    const auto factory = bs->get(tableKey).value();
    EXPECT_EQ(bs->get(modeKey)->integerValue(), 0);
    EXPECT_TRUE(bs->set(factory, tableKey));
    EXPECT_EQ(tree.brightness("a::kbd_backlight"), 0);
    EXPECT_TRUE(bs->set(on(), modeKey));
    EXPECT_EQ(tree.brightness("a::kbd_backlight"), 32);
    EXPECT_TRUE(bs->set(factory, tableKey));
    EXPECT_EQ(tree.brightness("a::kbd_backlight"), 32);
    // The trigger was "none" all along: nothing to write back.
    EXPECT_EQ(tree.text("a::kbd_backlight", "trigger"), "[none] timer heartbeat\n");
}

TEST_F(LedModuleTest, TheTablesWrittenNotTheLedAtLoadSayWhatLevelOneAndTheTriggerAre)
{
    // Found at 200 with its trigger by an earlier run, which was killed while the LED was dim
    // and had lost its trigger.
    tree.add("a::kbd_backlight", 200, 255, "none [kbd-backlight]");
    const auto saved = open()->get(tableKey).value();
    tree.add("a::kbd_backlight", 34, 255, "[none] kbd-backlight");
    auto bs = open();
    EXPECT_TRUE(bs->set(saved, tableKey));
    EXPECT_EQ(tree.brightness("a::kbd_backlight"), 200);
    EXPECT_EQ(tree.text("a::kbd_backlight", "trigger"), "kbd-backlight\n");

    // A brightness found on an LED whose range has since shrunk is its new full brightness.
    EXPECT_TRUE(
        bs->set(PropertyValue::table({{300, 25}, {300, 50}, {300, 75}, {300, 100}}), tableKey));
    EXPECT_EQ(tree.brightness("a::kbd_backlight"), 255);
}

TEST_F(LedModuleTest, AWholeTableOfAnotherLedSaysNothingAboutThisOne)
{
    tree.add("a::kbd_backlight", 100, 255, "none [timer] heartbeat");
    auto bs = open();
    ASSERT_TRUE(bs->set(tableAt(*bs, 0.5), tableKey));
    tree.write("a::kbd_backlight", "trigger", "[none] timer heartbeat\n");

    const auto heartbeat = FactoryRows::triggerCode("heartbeat");
    const auto other = FactoryRows::encode(7, heartbeat, FactoryRows::ledCode("b::kbd_backlight"));
    EXPECT_TRUE(bs->set(PropertyValue::table(other), tableKey));
    EXPECT_EQ(tree.brightness("a::kbd_backlight"), 100);
    EXPECT_EQ(tree.text("a::kbd_backlight", "trigger"), "timer\n");

    // The previous version's table names no LED: it is taken as this one's.
    tree.write("a::kbd_backlight", "trigger", "none [timer] heartbeat\n");
    PropertyValue::Table previous;
    for (const auto& row : other)
        previous.push_back({row.begin(), row.begin() + 4});
    EXPECT_TRUE(bs->set(PropertyValue::table(previous), tableKey));
    EXPECT_EQ(tree.brightness("a::kbd_backlight"), 7);
    EXPECT_EQ(tree.text("a::kbd_backlight", "trigger"), "heartbeat\n");
}

TEST_F(LedModuleTest, ATableOfAnLedFoundOffTakesTheBrightnessSomeoneElseLitItAt)
{
    tree.add("a::kbd_backlight", 0, 255);
    const auto saved = open()->get(tableKey).value();
    const auto factory = saved.asTable().value();
    // Lit with its own key while no client ran.
    tree.write("a::kbd_backlight", "brightness", "128\n");
    {
        auto bs = open();
        ASSERT_TRUE(bs->set(scaled(factory, 1.0), tableKey));
        EXPECT_EQ(tree.brightness("a::kbd_backlight"), 128);
        ASSERT_TRUE(bs->set(scaled(factory, 0.5), tableKey));
        EXPECT_EQ(tree.brightness("a::kbd_backlight"), 64);
    }
    // Killed there: 64 is that client's doing, and its note keeps the user's 128.
    auto bs = open();
    EXPECT_TRUE(bs->set(saved, tableKey));
    EXPECT_EQ(tree.brightness("a::kbd_backlight"), 128);
    // Never lit by anyone but Beamwick, level 1.0 is an eighth of full brightness.
    tree.write("a::kbd_backlight", "brightness", "0\n");
    auto fresh = open();
    ASSERT_TRUE(fresh->set(on(), modeKey));
    EXPECT_TRUE(fresh->set(saved, tableKey));
    EXPECT_EQ(tree.brightness("a::kbd_backlight"), 32);
}

TEST_F(LedModuleTest, AnUnpluggedLedAnswersFalseAndNothing)
{
    tree.add("usb::kbd_backlight", 5, 3);
    auto bs = open();
    tree.remove("usb::kbd_backlight");
    EXPECT_FALSE(bs->get(modeKey).has_value());
    EXPECT_FALSE(bs->get(tableKey).has_value());
    EXPECT_FALSE(bs->set(on(), modeKey));
    EXPECT_FALSE(bs->set(off(), modeKey));
    EXPECT_FALSE(bs->set(PropertyValue::table({{0, 1}, {1, 2}, {2, 3}, {3, 4}}), tableKey));
    EXPECT_FALSE(
        bs->set(PropertyValue::array({PropertyValue::integer(1), PropertyValue::integer(3)}),
                ServiceContract::desktopBrightnessKey));
    // Nothing was created in its place.
    EXPECT_FALSE(std::filesystem::exists(tree.root() / "usb::kbd_backlight"));
}

namespace {

constexpr int kCapabilitiesKept = 100;

// Runs `body` where `readOnly` (made 0444) cannot be written, and gives its result: here, or, as
// root (who writes any file), in a child without effective capabilities, which meets the file's
// mode as its owner does; giving them up needs no privilege. kCapabilitiesKept when the child
// could not.
int withoutWriteAccess(const std::filesystem::path& readOnly, const std::function<int()>& body)
{
    if (chmod(readOnly.c_str(), 0444) != 0)
        return -1;
    if (geteuid() != 0)
        return body();
    const pid_t child = fork();
    if (child < 0)
        return -1;
    if (child == 0) {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct capabilities[2]{};
        if (syscall(SYS_capget, &header, capabilities) != 0)
            _exit(kCapabilitiesKept);
        for (auto& set : capabilities)
            set.effective = 0;
        if (syscall(SYS_capset, &header, capabilities) != 0)
            _exit(kCapabilitiesKept);
        _exit(body());
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

// Failures as bits, so a child process can report them through its exit status.
int tryToWrite(Brightness& bs)
{
    int failures = 0;
    if (bs.set(PropertyValue::table({{0, 1}, {1, 2}, {2, 3}, {3, 4}}), ServiceContract::tableKey))
        failures |= 1;
    if (bs.set(PropertyValue::integer(0), ServiceContract::backlightModeKey))
        failures |= 2;
    const auto desktopOff =
        PropertyValue::array({PropertyValue::integer(0), PropertyValue::integer(255)});
    if (bs.set(desktopOff, ServiceContract::desktopBrightnessKey))
        failures |= 16;
    const auto mode = bs.get(ServiceContract::backlightModeKey);
    if (!mode || mode->integerValue() != 1)
        failures |= 4;
    if (!bs.get(ServiceContract::tableKey))
        failures |= 8;
    return failures;
}

} // namespace

TEST_F(LedModuleTest, ReadOnlyBrightnessRefusesWritesButStillReads)
{
    tree.add("a::kbd_backlight", 40, 255);
    tree.openForReading();
    auto bs = open();
    ASSERT_TRUE(bs->available());
    const int result = withoutWriteAccess(tree.root() / "a::kbd_backlight" / "brightness",
                                          [&] { return tryToWrite(*bs); });
    ASSERT_NE(result, kCapabilitiesKept) << "the child could not drop them";
    EXPECT_EQ(result, 0);
    EXPECT_EQ(tree.brightness("a::kbd_backlight"), 40);
}

TEST_F(LedModuleTest, WithoutRightsToTheTriggerAWriteOfZeroDetachesIt)
{
    tree.add("a::kbd_backlight", 100, 255, "none [timer]");
    tree.openForReading();
    const int result = withoutWriteAccess(tree.root() / "a::kbd_backlight" / "trigger", [&] {
        std::vector<unsigned> steps;
        SwitchMemory notes;
        LedService service(
            std::make_unique<SysfsLedFiles>(
                LedDevice::open(tree.root(), "a::kbd_backlight").value(),
                writingThrough([&](auto&, unsigned step) { steps.push_back(step); })),
            notes);
        const auto value = service.get(tableKey);
        const auto factory = value ? value->asTable() : std::nullopt;
        if (!factory)
            return 3;
        const auto half = scaled(*factory, 0.5);
        if (!service.set(half, tableKey) || !service.set(half, tableKey))
            return 1;
        // The kernel drops the trigger on the 0, before the step the level asks for.
        return steps == std::vector<unsigned>{0, 50, 50} ? 0 : 2;
    });
    ASSERT_NE(result, kCapabilitiesKept) << "the child could not drop them";
    EXPECT_EQ(result, 0);
    EXPECT_EQ(tree.text("a::kbd_backlight", "trigger"), "none [timer]\n");
}
