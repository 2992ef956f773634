// Whether an LED is on, across processes that end without quitting: the LED module's note in the
// runtime folder, through the real client.
#include "ledservice/SwitchMemory.h"

#include "LedModuleFixture.h"
#include "ledservice/LedService.h"
#include "ledservice/SysfsLedFiles.h"
#include "serviceabi/FactoryRows.h"

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr const char* kLed = "a::kbd_backlight";

class SwitchMemoryTest : public LedModuleFixture {
protected:
    // A three-step backlight found full; a client dims it to step 0, as a breath does, and the
    // process ends there (a kill: nothing is handed back).
    void killedAtStepZero()
    {
        tree.add(kLed, 3, 3);
        auto bs = open();
        saved = bs->get(tableKey).value();
        ASSERT_TRUE(bs->set(tableAt(*bs, 0.03), tableKey));
        ASSERT_EQ(tree.brightness(kLed), 0);
        EXPECT_EQ(bs->get(modeKey)->integerValue(), 1) << "dimmed, not switched off";
    }

    static std::int64_t mode(Brightness& bs) { return bs.get(modeKey).value().integerValue(); }

    PropertyValue saved;
};

} // namespace

TEST_F(SwitchMemoryTest, AnLedKilledAtStepZeroIsOnAtTheNextStartAndHandedBackLit)
{
    killedAtStepZero();
    EXPECT_NE(note().find("\ndark\n"), std::string::npos) << note();

    auto bs = open();
    EXPECT_EQ(mode(*bs), 1);
    // Its whole factory table lights it at the brightness found first; handed back, the note
    // goes and the LED is the user's again.
    EXPECT_TRUE(bs->set(saved, tableKey));
    EXPECT_EQ(tree.brightness(kLed), 3);
    EXPECT_EQ(note(), "");
    EXPECT_EQ(mode(*open()), 1);

    // Lit, the note follows: a kill at a lit step leaves an LED that reads on by itself.
    ASSERT_TRUE(bs->set(tableAt(*bs, 0.5), tableKey));
    EXPECT_NE(note().find("\nlit\n"), std::string::npos) << note();
    // Switched off, there is nothing to remember.
    ASSERT_TRUE(bs->set(off(), modeKey));
    EXPECT_EQ(note(), "");
    EXPECT_EQ(mode(*open()), 0);
}

TEST_F(SwitchMemoryTest, SomeoneElsesChangeSinceOvertakesTheNote)
{
    // The firmware changed the brightness since (a hotkey): off is off, and on is on.
    killedAtStepZero();
    tree.write(kLed, "brightness_hw_changed", "0\n");
    EXPECT_EQ(mode(*open()), 0);
    tree.write(kLed, "brightness", "2\n");
    EXPECT_EQ(mode(*open()), 1);

    // Left lit, then switched off by another program (or a key the kernel does not report).
    ASSERT_TRUE(open()->set(tableAt(*open(), 0.5), tableKey));
    ASSERT_NE(note().find("\nlit\n"), std::string::npos) << note();
    tree.write(kLed, "brightness", "0\n");
    auto bs = open();
    EXPECT_EQ(mode(*bs), 0);
    // Handing back an LED that is off leaves it dark and drops the note.
    EXPECT_TRUE(bs->set(saved, tableKey));
    EXPECT_EQ(tree.brightness(kLed), 0);
    EXPECT_EQ(note(), "");
}

TEST_F(SwitchMemoryTest, EachLedKeepsItsOwnNoteAndALeftoverIsNeverTheFactoryState)
{
    tree.add(kLed, 200, 255, "none [timer]");
    tree.add("b::kbd_backlight", 150, 255);
    ASSERT_TRUE(open()->set(tableAt(*open(), 0.125), tableKey));
    ASSERT_EQ(tree.brightness(kLed), 25);
    // Killed there; then the other LED is held and handed back, its note coming and going.
    setenv("BEAMWICK_LED", "b::kbd_backlight", 1);
    auto other = open();
    const auto otherFactory = other->get(tableKey).value();
    ASSERT_TRUE(other->set(tableAt(*other, 0.5), tableKey));
    ASSERT_TRUE(other->set(otherFactory, tableKey));
    unsetenv("BEAMWICK_LED");

    tree.write(kLed, "trigger", "[none] timer\n");
    auto bs = open();
    const auto found = bs->get(tableKey)->asTable().value().front();
    EXPECT_EQ(found[0], 0) << "step 25 is the killed run's leftover";
    EXPECT_EQ(found[3], FactoryRows::noTrigger) << "none is the killed run's own detaching";
    // Without a better table, level 1.0 is the brightness it was found lit at first.
    ASSERT_TRUE(bs->set(tableAt(*bs, 1.0), tableKey));
    EXPECT_EQ(tree.brightness(kLed), 200);
}

TEST_F(SwitchMemoryTest, ANoteThatIsDamagedForAnotherLedOrNowhereIsNoNote)
{
    killedAtStepZero();
    const std::string kept = note();
    const auto file = runtime / "beamwick-led.note";

    // The same name under another LED folder is another LED.
    FakeLedTree other;
    other.add(kLed, 0, 3);
    pointLedModuleAt(other.root());
    EXPECT_EQ(mode(*open()), 0);
    pointLedModuleAt(tree.root());

    const std::string damaged[] = {
        "",
        kept.substr(0, kept.size() / 2),
        kept + "more\n",
        "beamwick led note 2" + kept.substr(kept.find('\n')),
        std::string(kept).replace(kept.find("dark"), 4, "dusk"),
    };
    for (const auto& text : damaged) {
        SCOPED_TRACE(text);
        std::ofstream(file, std::ios::trunc) << text;
        EXPECT_EQ(mode(*open()), 0);
    }
    std::ofstream(file, std::ios::trunc) << kept;
    EXPECT_EQ(mode(*open()), 1);

    // Only an absolute runtime folder takes a note; without one, an LED at 0 reads off.
    EXPECT_EQ(SwitchMemory::defaultFile("run/user"), "");
    EXPECT_EQ(SwitchMemory::defaultFile("/run/user/1000"), "/run/user/1000/beamwick-led.note");
    std::filesystem::remove(file);
    unsetenv("XDG_RUNTIME_DIR");
    tree.write(kLed, "brightness", "3\n");
    auto bs = open();
    ASSERT_TRUE(bs->set(tableAt(*bs, 0.03), tableKey));
    ASSERT_EQ(tree.brightness(kLed), 0);
    EXPECT_EQ(note(), "");
    EXPECT_EQ(mode(*open()), 0);
}

TEST_F(SwitchMemoryTest, TheNoteTurnsDarkBeforeTheLedAndLitAfterIt)
{
    // Whenever the process is killed, the note and the LED together still read on. Setting the
    // trigger to none before the first step darkens the LED too.
    tree.add(kLed, 3, 3, "none [timer]");
    const auto file = SwitchMemory::defaultFile(runtime.path().c_str());
    // For every step, what the note said as the step was written.
    std::vector<std::string> seen;
    const auto noted = [&](const LedDevice& led, unsigned brightness) {
        const auto note = SwitchMemory(file).read(led.directory().string());
        seen.push_back(std::to_string(brightness) + (!note        ? " none"
                                                     : note->dark ? " dark"
                                                                  : " lit"));
    };
    SwitchMemory notes(file);
    LedService service(std::make_unique<SysfsLedFiles>(LedDevice::open(tree.root(), kLed).value(),
                                                       writingThrough(noted)),
                       notes);
    const auto level = [](double x) {
        PropertyValue::Table rows;
        for (int k = 1; k <= 4; ++k)
            rows.push_back({3, 25.0 * k * x});
        return PropertyValue::table(rows);
    };
    for (double x : {1.0, 0.03, 1.0})
        ASSERT_TRUE(service.set(level(x), tableKey));
    EXPECT_EQ(seen, (std::vector<std::string>{"3 dark", "0 dark", "3 dark"}));
    EXPECT_FALSE(SwitchMemory(file).read((tree.root() / kLed).string()).value().dark);
}
