// The LED module on one LED in memory, over random events, with a kill possible after every
// write it makes: the next process must still find the LED on wherever the module holds it on, a
// switch or a level that fails leaves the LED and its note as they were, and what the module says
// of its note and of on/off is what is on file.
#include "ledservice/LedService.h"
#include "serviceabi/FactoryRows.h"
#include "serviceabi/ServiceContract.h"
#include "testkit/fakes/MemoryLeds.h"

#include <functional>
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

// Each write the module makes, then what a kill right after it would leave to the next process.
class KilledAfterEachWrite final : public LedFiles, public NoteStore {
public:
    KilledAfterEachWrite(std::unique_ptr<LedFiles> led, NoteStore& notes,
                         std::function<void()> afterWrite)
        : m_led(std::move(led)), m_notes(notes), m_afterWrite(std::move(afterWrite))
    {}

    bool isPresent() const override { return m_led->isPresent(); }
    std::optional<unsigned> brightness() const override { return m_led->brightness(); }
    std::optional<std::string> trigger() const override { return m_led->trigger(); }
    std::vector<std::string> triggers() const override { return m_led->triggers(); }
    std::optional<unsigned> lastKey() const override { return m_led->lastKey(); }
    const std::string& name() const override { return m_led->name(); }
    std::string noteKey() const override { return m_led->noteKey(); }
    unsigned maxBrightness() const override { return m_led->maxBrightness(); }
    std::optional<std::string> keyFile() const override { return m_led->keyFile(); }
    bool writeBrightness(unsigned step) override { return after(m_led->writeBrightness(step)); }
    bool writeTrigger(const std::string& name) override { return after(m_led->writeTrigger(name)); }

    std::optional<LedNote> read(const std::string& led) const override { return m_notes.read(led); }
    void write(const LedNote& note) override { after((m_notes.write(note), true)); }
    void clear(const std::string& led) override { after((m_notes.clear(led), true)); }

private:
    bool after(bool written)
    {
        m_afterWrite();
        return written;
    }

    std::unique_ptr<LedFiles> m_led;
    NoteStore& m_notes;
    std::function<void()> m_afterWrite;
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
    bool holdsOn = false;
    KilledAfterEachWrite* watched = nullptr;
    auto wrapped = std::make_unique<KilledAfterEachWrite>(tree->open(kLed), *notes, [&] {
        if (holdsOn)
            RC_ASSERT(foundOnByTheNext());
    });
    watched = wrapped.get();
    LedService service(std::move(wrapped), *watched);
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
