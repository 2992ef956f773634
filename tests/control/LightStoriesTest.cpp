// Stories: random orders of the events a light meets, with the real controller over the LED
// module's code, each step checked against what the user should find: over LEDs in memory, the
// module's code in this process, for many stories; and over LEDs on disk, the module loaded from
// its file as Beamwick loads it (BEAMWICK_STORIES_ON_FILES), for fewer.
#include "LightStory.h"
#include "testkit/support/TellStory.h"

#include <QJsonDocument>
#include <gtest/gtest.h>
#include <rapidcheck.h>
#include <rapidcheck/gtest.h>
#include <rapidcheck/state.h>

namespace {

using Command = rc::state::Command<LightModel, LightRig>;
const std::array<std::string, 6> kNames{
    "", kLeds[0].name, kLeds[1].name, kLeds[2].name, kLeds[3].name, kGoneLed};

std::string ledCode(const std::string& name)
{
    return QString::number(FactoryRows::ledCode(name), 'f', 0).toStdString();
}

std::optional<double> lightOf(const QJsonValue& table)
{
    FactoryRows::Table rows;
    for (const auto& row : table.toArray()) {
        rows.emplace_back();
        for (const auto& number : row.toArray())
            rows.back().push_back(number.toDouble());
    }
    return FactoryRows::lightOf(rows);
}

// (c) Each saved table is its own LED's (looked at again once the settings change); the one in
// use mirrors its own.
void checkSettings(const LightModel& m, const LightRig& r)
{
    const auto tables = r.defaults.values.value("baseMaps").toObject();
    for (auto it = tables.begin(); r.defaults.writes != r.tablesChecked && it != tables.end();
         ++it) {
        if (const auto light = lightOf(it.value()))
            RC_ASSERT(QString::number(*light, 'f', 0) == it.key());
    }
    r.tablesChecked = r.defaults.writes;
    RC_ASSERT(r.defaults.values.value("light").toString().toStdString() == m.saved);
    if (m.running && !m.inUse.empty() && tables.contains(ledCode(m.inUse).c_str()))
        RC_ASSERT(r.defaults.values.value("baseMap") == tables.value(ledCode(m.inUse).c_str()));
}

// (a) Every LED is on or off as the user left it; a lit one at the brightness and with the
// trigger it was found with, or the brightness a key set since.
void checkAsFound(const LightModel& m, const LightRig& r)
{
    for (std::size_t i = 0; i < kLeds.size(); ++i) {
        const auto& led = m.leds[i];
        if (!led.present || (led.on && led.foundUnknown))
            continue;
        const unsigned levelOne = std::max(1u, (kLeds[i].maxBrightness + 4) / 8);
        RC_ASSERT(r.tree.brightness(kLeds[i].name) == int(!led.on         ? 0
                                                          : led.found > 0 ? led.found
                                                                          : levelOne));
        if (led.showsTriggerAsFound())
            RC_ASSERT(activeTrigger(r.tree.text(kLeds[i].name, "trigger")) ==
                      activeTrigger(kLeds[i].triggers));
    }
}

// (e) While the lid is closed, or the user asked for the light dark, the light in use shows
// nothing, and the controller says why.
void checkDark(const LightModel& m, const LightRig& r)
{
    if (!r.logo)
        return;
    RC_ASSERT(r.logo->darkReason().has_value() == m.dark());
    if (m.dark())
        RC_ASSERT(int(*r.logo->darkReason()) + 1 == m.darkReason());
    if (m.dark() && !m.failing && !m.darkUnsure && m.usable(m.inUse))
        RC_ASSERT(r.tree.brightness(m.inUse) == 0);
}

template <typename Step> struct Story : Command {
    void run(const LightModel& m, LightRig& r) const override
    {
        static_cast<const Step*>(this)->act(m, r);
        r.tree.showTriggersAsTheKernelDoes();
        LightModel next = m;
        this->apply(next);
        checkSettings(next, r);
        checkDark(next, r);
        if (r.logo && !next.inUse.empty())
            RC_ASSERT(r.logo->light().toStdString() == next.inUse);
    }
};

struct Start : Story<Start> {
    std::string variable = kNames[*rc::gen::inRange(0, 6)];
    Start() = default;
    explicit Start(std::string named) : variable(std::move(named)) {}
    void checkPreconditions(const LightModel& m) const override
    {
        RC_PRE(!m.running && (m.upgradeFor < 0 || variable.empty()));
    }
    void apply(LightModel& m) const override
    {
        m.running = true;
        m.darkUnsure = false;
        m.env = variable;
        m.inUse = m.pick(variable, m.saved);
        m.upgradeFor = -1;
        if (!m.inUse.empty())
            m.leds[ledIndex(m.inUse)].met = true;
    }
    void act(const LightModel& m, LightRig& r) const
    {
        r.start(variable);
        // (d) The light in use is BEAMWICK_LED's, the saved choice, or the rules' pick.
        const auto expected = m.pick(variable, m.saved);
        RC_ASSERT(r.logo->light().toStdString() == expected);
        if (!expected.empty() && !m.failing)
            RC_ASSERT(r.logo->isOn() == m.leds[ledIndex(expected)].on);
    }
    void show(std::ostream& os) const override { os << "start BEAMWICK_LED=" << variable; }
};

// The settings as a process that quits leaves them on disk still parse.
void checkSaved(const LightRig& r)
{
    const auto json = QJsonDocument(r.defaults.values).toJson();
    RC_ASSERT(QJsonDocument::fromJson(json).isObject());
}

struct Quit : Story<Quit> {
    void checkPreconditions(const LightModel& m) const override { RC_PRE(m.running); }
    void apply(LightModel& m) const override
    {
        m.running = false;
        m.clean =
            !m.failing && !m.inUse.empty() &&
            std::all_of(m.leds.begin(), m.leds.end(), [](const auto& led) { return led.present; });
        for (auto& led : m.leds)
            led.heldByKilledRun = led.heldByKilledRun && !m.clean;
    }
    void act(const LightModel& m, LightRig& r) const
    {
        r.willTerminate.post();
        r.logo.reset();
        checkSaved(r);
        r.tree.showTriggersAsTheKernelDoes();
        // A run without a light has no quit handling.
        if (!m.failing && !m.inUse.empty())
            checkAsFound(m, r);
    }
    void show(std::ostream& os) const override { os << "quit"; }
};

struct Kill : Story<Kill> {
    void checkPreconditions(const LightModel& m) const override { RC_PRE(m.running); }
    void apply(LightModel& m) const override
    {
        m.running = false, m.clean = false;
        if (!m.inUse.empty())
            m.leds[ledIndex(m.inUse)].heldByKilledRun = true;
    }
    void act(const LightModel&, LightRig& r) const { r.logo.reset(); }
    void show(std::ostream& os) const override { os << "kill"; }
};

struct Choose : Story<Choose> {
    std::string name = kNames[*rc::gen::inRange(0, 6)];
    Choose() = default;
    explicit Choose(std::string chosen) : name(std::move(chosen)) {}
    void checkPreconditions(const LightModel& m) const override { RC_PRE(m.running); }
    void apply(LightModel& m) const override
    {
        const auto target = name.empty() ? m.rulesPick() : name;
        if (m.usable(target))
            m.inUse = target, m.saved = name, m.leds[ledIndex(target)].met = true;
    }
    void act(const LightModel&, LightRig& r) const
    {
        r.logo->chooseLight(QString::fromStdString(name));
    }
    void show(std::ostream& os) const override { os << "choose '" << name << "'"; }
};

struct SetOn : Story<SetOn> {
    bool on = *rc::gen::arbitrary<bool>();
    SetOn() = default;
    explicit SetOn(bool wanted) : on(wanted) {}
    void checkPreconditions(const LightModel& m) const override { RC_PRE(m.running); }
    void apply(LightModel& m) const override
    {
        if (m.usable(m.inUse) && !m.failing) {
            auto& led = m.leds[ledIndex(m.inUse)];
            led.on = on;
            led.switched(on);
        }
    }
    void act(const LightModel&, LightRig& r) const { r.logo->setOn(on); }
    void show(std::ostream& os) const override { os << "setOn " << on; }
};

struct Drive : Story<Drive> {
    int mode = *rc::gen::inRange(0, 3);
    double brightness = *rc::gen::element(0.05, 0.5, 1.0, 2.0, 8.0);
    int ticks = *rc::gen::inRange(0, 40);
    Drive() = default;
    Drive(int m, double b, int t) : mode(m), brightness(b), ticks(t) {}
    void checkPreconditions(const LightModel& m) const override { RC_PRE(m.running); }
    void apply(LightModel&) const override {}
    void act(const LightModel&, LightRig& r) const
    {
        r.logo->setMode(LightMode(mode));
        r.logo->setBrightness(brightness);
        for (int i = 0; i < ticks && r.ticker->tick(); ++i) {
            r.clock.advance(std::chrono::milliseconds(50));
            if (i % 7 == 0)
                r.meter->deliver(0.5, 0.01);
        }
    }
    void show(std::ostream& os) const override
    {
        os << "mode " << mode << ", brightness " << brightness << ", " << ticks << " ticks";
    }
};

struct Key : Story<Key> {
    int led = *rc::gen::inRange(0, 2);
    unsigned value = *rc::gen::inRange(0u, kLeds[led].maxBrightness + 1);
    Key() = default;
    Key(int which, unsigned to) : led(which), value(to) {}
    void checkPreconditions(const LightModel& m) const override
    {
        RC_PRE(m.leds[led].present && !m.leds[led].keyed[value]);
        RC_PRE(value > 0 || !m.leds[led].heldByKilledRun);
    }
    void apply(LightModel& m) const override
    {
        m.leds[led].keyed.set(value);
        userSets(m.leds[led], value, m.running && m.inUse == kLeds[led].name);
    }
    // The user's brightness, set with the light's key or through the desktop.
    static void userSets(LightModel::Led& shown, unsigned value, bool driven)
    {
        using Trigger = LightModel::Led::Trigger;
        // A key lights an LED left without its trigger without one; one that puts out an LED met
        // before leaves it so too.
        if (shown.trigger == Trigger::droppedWhileDark && value > 0)
            shown.trigger = Trigger::litWithout;
        else if ((shown.trigger == Trigger::litWithout ||
                  (shown.trigger == Trigger::asFound && shown.met)) &&
                 value == 0)
            shown.trigger = Trigger::droppedWhileDark;
        shown.foundUnknown = value == 0 && (shown.foundUnknown || !driven) && shown.met;
        shown.on = value > 0;
        // Switched off by its key before Beamwick met it, it is met as found off.
        if (value > 0 || !shown.met)
            shown.found = value;
    }
    void act(const LightModel&, LightRig& r) const { r.pressKey(kLeds[led], value); }
    void show(std::ostream& os) const override { os << "key " << kLeds[led].name << "=" << value; }
};

// The desktop's power manager sets the keyboard light Beamwick drives through UPower, which writes
// the LED itself: taken as its key would be.
// Set in a burst, the level before may be heard only once the LED shows this one (-1: no burst).
struct Desktop : Story<Desktop> {
    int led = *rc::gen::inRange(1, 3);
    unsigned value = *rc::gen::inRange(0u, kLeds[led].maxBrightness + 1);
    int before = *rc::gen::inRange(-1, int(kLeds[led].maxBrightness) + 1);
    Desktop() = default;
    // The desktop serves the keyboard light in use, where it is one.
    explicit Desktop(const LightModel& m)
        : led(ledIndex(m.inUse) == 1 || ledIndex(m.inUse) == 2 ? ledIndex(m.inUse)
                                                               : *rc::gen::inRange(1, 3))
    {}
    Desktop(int which, unsigned to, int earlier = -1) : led(which), value(to), before(earlier) {}
    void checkPreconditions(const LightModel& m) const override
    {
        RC_PRE(m.running && m.inUse == kLeds[led].name && m.leds[led].present);
        RC_PRE((value > 0 && before != 0) || !m.leds[led].heldByKilledRun);
    }
    void apply(LightModel& m) const override
    {
        if (before >= 0)
            Key::userSets(m.leds[led], unsigned(before), true);
        Key::userSets(m.leds[led], value, true);
    }
    void act(const LightModel&, LightRig& r) const { r.desktopSets(kLeds[led], value, before); }
    void show(std::ostream& os) const override
    {
        os << "the desktop sets " << kLeds[led].name << "=" << value << " through UPower";
        if (before >= 0)
            os << ", " << before << " set just before heard after it was written";
    }
};

struct Unplug : Story<Unplug> {
    int led = *rc::gen::inRange(0, int(kLeds.size()));
    Unplug() = default;
    explicit Unplug(int which) : led(which) {}
    // The previous version's table is for the light its first start picks: the one it drove.
    void checkPreconditions(const LightModel& m) const override { RC_PRE(m.upgradeFor < 0); }
    void apply(LightModel& m) const override
    {
        m.leds[led].present = !m.leds[led].present;
        m.darkUnsure = m.darkUnsure || m.dark();
    }
    void act(const LightModel& m, LightRig& r) const
    {
        const auto& shape = kLeds[led];
        auto& away = r.away[led];
        if (m.leds[led].present) {
            away = {r.tree.text(shape.name, "brightness"), r.tree.text(shape.name, "trigger"),
                    r.tree.text(shape.name, "brightness_hw_changed")};
            r.tree.remove(shape.name);
            return;
        }
        auto trigger = away[1].empty() ? std::string() : away[1].substr(0, away[1].size() - 1);
        r.plug(shape, unsigned(std::stoul(away[0])), shape.triggers, away[2]);
        if (!trigger.empty())
            r.tree.write(shape.name, "trigger", trigger + "\n");
    }
    void show(std::ostream& os) const override { os << "unplug or plug " << kLeds[led].name; }
};

// The lid closes or opens, the session locks or unlocks, the power supply changes; or the user
// changes whether a locked session or battery power darkens the light.
struct Dark : Story<Dark> {
    int which = *rc::gen::inRange(0, 5);
    bool value = *rc::gen::arbitrary<bool>();
    Dark() = default;
    Dark(int what, bool to) : which(what), value(to) {}
    void checkPreconditions(const LightModel& m) const override { RC_PRE(which < 3 || m.running); }
    void apply(LightModel& m) const override
    {
        const int before = m.darkReason();
        if (which < 3)
            m.conditions[std::size_t(which)] = value;
        else
            m.darkChoices[std::size_t(which - 3)] = value;
        // Only a new reason is news to the controller.
        m.darkUnsure = m.darkUnsure && m.darkReason() == before;
    }
    void act(const LightModel& m, LightRig& r) const
    {
        if (which == 3)
            return r.logo->setDarkWhenLocked(value);
        if (which == 4)
            return r.logo->setDarkOnBattery(value);
        LightModel next = m;
        apply(next);
        const auto& c = next.conditions;
        r.dark.post({c[0], c[1], c[2]});
    }
    void show(std::ostream& os) const override
    {
        const char* names[] = {"the lid closed", "locked", "on battery", "dark when locked",
                               "dark on battery"};
        os << names[which] << " " << value;
    }
};

struct Fail : Story<Fail> {
    void apply(LightModel& m) const override
    {
        m.failing = !m.failing;
        m.darkUnsure = m.darkUnsure || m.dark();
    }
    void act(const LightModel& m, LightRig& r) const { r.tree.refuseWrites(!m.failing); }
    void show(std::ostream& os) const override { os << "writes fail or work again"; }
};

struct Upgrade : Story<Upgrade> {
    void checkPreconditions(const LightModel& m) const override
    {
        RC_PRE(!m.running && m.clean && !m.rulesPick().empty());
    }
    void apply(LightModel& m) const override
    {
        m.saved.clear();
        m.darkChoices = {};
        m.upgradeFor = ledIndex(m.rulesPick());
        // The tables of every other light are gone with the settings: those dark now are met as
        // found off. The upgraded light's table still holds the brightness it was found with.
        for (auto& led : m.leds) {
            led.met = false;
            led.found = led.on || &led == &m.leds[m.upgradeFor] ? led.found : 0;
            if (led.trigger != LightModel::Led::Trigger::asFound)
                led.trigger = LightModel::Led::Trigger::lost;
        }
        m.leds[m.upgradeFor].met = true;
    }
    void act(const LightModel& m, LightRig& r) const
    {
        const int led = ledIndex(m.rulesPick());
        r.settingsOfThePreviousVersion(kLeds[led], m.leds[led].found);
    }
    void show(std::ostream& os) const override { os << "settings of the previous version"; }
};

auto anyStep()
{
    return rc::state::gen::execOneOfWithArgs<Start, Quit, Kill, Choose, SetOn, Drive, Key, Desktop,
                                             Unplug, Fail, Upgrade, Dark>();
}

} // namespace

RC_GTEST_PROP(LightStories, EveryOrderOfEventsLeavesEachLightAsFound, ())
{
    LightModel model;
    StoryRig rig;
    rc::state::check(model, rig, anyStep());
}

// The orders that once left a light wrong, each told as a story.
namespace {

using Steps = std::vector<std::shared_ptr<const Command>>;
template <typename Step, typename... Args> std::shared_ptr<const Command> step(Args... args)
{
    return std::make_shared<const Step>(args...);
}

void tell(const Steps& story)
{
    tellStory<LightModel, LightRig, StoryRig>(story);
}

const std::string kLogo = kLeds[0].name, kKeyboard = kLeds[1].name;

} // namespace

TEST(LightStories, EachOrderThatOnceLeftALightWrongNowLeavesItRight)
{
    const std::pair<const char*, Steps> stories[] = {
        {"a previous version's table stays with the light it came from",
         {step<Upgrade>(), step<Start>(""), step<Choose>(kKeyboard), step<Key>(1, 1u),
          step<Choose>(""), step<Quit>(), step<Start>(""), step<Quit>()}},
        {"a switch leaves the old light on or off as the user left it and finds the new one's own",
         {step<Start>(kKeyboard), step<SetOn>(false), step<Choose>(kLogo), step<Quit>(),
          step<Start>(""), step<Choose>(kLeds[2].name), step<Quit>()}},
        {"a hand-back that failed is tried again",
         {step<Start>(""), step<Drive>(0, 0.05, 0), step<Fail>(), step<Choose>(kKeyboard),
          step<Quit>(), step<Fail>(), step<Start>(""), step<Quit>()}},
        {"a choice is saved only once it has worked",
         {step<Start>(""), step<Choose>(kGoneLed), step<Unplug>(1), step<Choose>(kKeyboard),
          step<Quit>()}},
        {"a saved light no rule would pick is opened",
         {step<Start>(""), step<Choose>(kLeds[3].name), step<Quit>(), step<Unplug>(0),
          step<Unplug>(1), step<Unplug>(2), step<Start>(""), step<SetOn>(true), step<Quit>()}},
    };
    for (const auto& [what, story] : stories) {
        SCOPED_TRACE(what);
        tell(story);
    }
}

// Found by longer runs: a key that switches a light off, and settings of the previous version
// for a light that is off, each keep the brightness the light was found with; a key pressed, or
// a level the desktop set, while the light in use was away for a moment is still the user's at
// quit.
TEST(LightStories, AKeyAnUpgradeOrAnUnplugKeepsTheBrightnessTheUserGaveALight)
{
    tell({step<Unplug>(0), step<Fail>(), step<Unplug>(2), step<Unplug>(0), step<Fail>(),
          step<Start>(""), step<Unplug>(0), step<Choose>(kLeds[2].name), step<Unplug>(0),
          step<Key>(0, 1u), step<SetOn>(true), step<Quit>()});
    tell({step<Start>(kKeyboard), step<SetOn>(false), step<Quit>(), step<Unplug>(0),
          step<Start>(""), step<Key>(1, 0u), step<SetOn>(true), step<Quit>()});
    tell({step<Start>(""), step<SetOn>(false), step<Quit>(), step<Upgrade>(), step<Start>(""),
          step<SetOn>(true), step<Quit>()});
    tell({step<Start>(""), step<Choose>(kKeyboard), step<Unplug>(1), step<Choose>(kKeyboard),
          step<Unplug>(1), step<Desktop>(1, 1u), step<Quit>()});
    // A switch that failed while the writes did leaves the trigger it found.
    tell({step<Fail>(), step<Key>(0, 0u), step<Start>(""), step<SetOn>(true), step<Quit>(),
          step<Key>(0, 1u), step<Fail>(), step<Start>(kKeyboard), step<Quit>()});
    // A desktop's level heard after Beamwick wrote a dim step of 0 over it: a kill then leaves
    // the light on.
    tell({step<Fail>(), step<Start>(kKeyboard), step<Fail>(), step<Drive>(0, 0.05, 0),
          step<Desktop>(1, 1u, 1), step<Kill>(), step<Start>(kKeyboard)});
    // A key's 0 on a light back from away, then the desktop's level: the level is what stays.
    tell({step<Start>(kKeyboard), step<Unplug>(1), step<Choose>(kKeyboard), step<Unplug>(1),
          step<Key>(1, 0u), step<Desktop>(1, 1u), step<Quit>()});
    tell({step<Start>(kKeyboard), step<Drive>(0, 0.05, 0), step<Unplug>(1), step<Choose>(kKeyboard),
          step<Unplug>(1), step<Key>(1, 0u), step<Desktop>(1, 1u), step<Quit>()});
    // The desktop's 0 heard after Beamwick lit the light for the level before: put out.
    tell({step<Start>(kKeyboard), step<Desktop>(1, 0u, 1), step<Kill>(), step<Start>(kKeyboard)});
}
