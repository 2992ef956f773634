// The LED module on one LED in memory, over random events, with a kill possible after every
// write it makes: the next process must still find the LED on wherever the module holds it on, a
// switch or a level that fails leaves the LED and its note as they were, and what the module says
// of its note and of on/off is what is on file.
#include "ledservice/LedService.h"
#include "serviceabi/FactoryRows.h"
#include "serviceabi/ServiceContract.h"
#include "testkit/fakes/MemoryLeds.h"

#include <gtest/gtest.h>
#include <rapidcheck.h>
#include <rapidcheck/gtest.h>
#include <tuple>
#include <vector>

namespace {

constexpr const char* kLed = "x::kbd_backlight";

struct Shape {
    unsigned max;
    unsigned found;
    const char* triggers;
    bool keys;
};
const std::vector<Shape> kShapes = {
    {255, 200, "none [timer] heartbeat", true},
    {3, 2, "[none] kbd-backlight", true},
    {1, 0, "", false},
    {3, 0, "none [heartbeat]", true},
};

PropertyValue scaled(const FactoryRows::Table& factory, double level)
{
    FactoryRows::Table rows;
    for (const auto& row : factory)
        rows.push_back({row[0], row[1] * level});
    return PropertyValue::table(rows);
}

} // namespace

RC_GTEST_PROP(LedDecisionTest, AKillAnywhereFindsTheLedOnAndAFailedWriteLeavesItAsItWas, ())
{
    const Shape shape = *rc::gen::elementOf(kShapes);
    // An event, and a number it takes: a step, a level in 32nds.
    const auto events = *rc::gen::container<std::vector<std::pair<int, unsigned>>>(
        rc::gen::pair(rc::gen::inRange(0, 7), rc::gen::inRange(0u, 257u)));

    MemoryLeds leds;
    leds.add({kLed, shape.max, shape.found, shape.triggers});
    if (shape.keys)
        leds.write(kLed, "brightness_hw_changed", "");
    const auto tree = leds.tree();
    const auto notes = leds.noteStore();
    const auto files = tree->open(kLed);
    // What the next process would find, were this one killed now.
    const auto foundOnByTheNext = [&] {
        return LedDecision::load({FactoryRows::ledCode(kLed), shape.max, files->brightness(),
                                  files->trigger(), files->lastKey(),
                                  notes->read(files->noteKey())})
            .on;
    };
    // Killed right after any write, the next process still finds the LED on.
    bool holdsOn = false;
    leds.afterWrite = [&] {
        if (holdsOn)
            RC_ASSERT(foundOnByTheNext());
    };
    LedService service(tree->open(kLed), *notes);
    bool refusing = false;

    for (const auto& [kind, number] : events) {
        const unsigned step = number % (shape.max + 1);
        const auto onFile = [&] {
            return std::tuple(leds.text(kLed, "brightness"), leds.text(kLed, "trigger"),
                              notes->read(files->noteKey()));
        };
        const auto before = onFile();
        const bool wasOn = service.state().on;
        bool answer = true;
        bool switchOrLevel = true;
        // A user's off, by Beamwick or a key, is the one thing that may leave the LED found off.
        holdsOn = wasOn && !(kind == 1 || (kind >= 4 && kind <= 5 && step == 0));
        const auto factory = service.get(ServiceContract::tableKey)->asTable().value();
        switch (kind) {
        case 0:
        case 1:
            answer =
                service.set(PropertyValue::integer(kind == 0), ServiceContract::backlightModeKey);
            break;
        case 2:
            answer = service.set(scaled(factory, number / 32.0), ServiceContract::tableKey);
            break;
        case 3:
            switchOrLevel = false;
            service.set(PropertyValue::table(factory), ServiceContract::tableKey);
            break;
        case 4:
            switchOrLevel = false;
            leds.write(kLed, "brightness", std::to_string(step) + "\n");
            leds.write(kLed, "brightness_hw_changed", std::to_string(step) + "\n");
            service.set(PropertyValue::integer(1), ServiceContract::hardwareBrightnessChangedKey);
            break;
        case 5:
            switchOrLevel = false;
            leds.write(kLed, "brightness", std::to_string(step) + "\n");
            service.set(PropertyValue::array(
                            {PropertyValue::integer(step), PropertyValue::integer(shape.max)}),
                        ServiceContract::desktopBrightnessKey);
            break;
        default:
            refusing = !refusing;
            leds.refuseWrites(refusing);
            continue;
        }
        leds.showTriggersAsTheKernelDoes();
        if (switchOrLevel && !answer)
            RC_ASSERT(onFile() == before);
        const auto note = notes->read(files->noteKey());
        const auto said = service.state().note;
        RC_ASSERT(note.has_value() == (said != LedState::Note::none));
        if (note)
            RC_ASSERT(note->dark == (said == LedState::Note::dark));
        RC_ASSERT(service.get(ServiceContract::backlightModeKey) ==
                  PropertyValue::integer(service.state().on ? 1 : 0));
    }
}
