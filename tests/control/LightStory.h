#pragma once

// What the light stories run on, and what they believe: the real controller over the LED
// module's code, on LEDs held in memory (run in this process) or laid out on disk (the module
// loaded from its file), and a model of each LED as the user should find it.
#include "control/LogoController.h"
#include "serviceabi/FactoryRows.h"
#include "testkit/fakes/ControllerRig.h"
#include "testkit/fakes/FakeLedTree.h"
#include "testkit/fakes/MemoryLeds.h"
#include "testkit/services/PrivateFolder.h"
#include "tests/ledservice/LedModuleHooks.h"

#include <QJsonArray>
#include <QPointer>
#include <array>
#include <bitset>
#include <cstdlib>
#include <map>
#include <string>

struct StoryLed {
    const char* name;
    unsigned maxBrightness;
    unsigned found;
    const char* triggers; // as the attribute reads; "" for none
    bool keys;            // reports brightness keys (brightness_hw_changed)
};
// Of every shape: 255 steps, 3 steps, 1 step; with and without a trigger; found on and off; and
// one no rule picks.
inline constexpr std::array<StoryLed, 4> kLeds{{
    {"a::lid_logo", 255, 200, "none [timer] heartbeat", true},
    {"b::kbd_backlight", 3, 2, "[none] kbd-backlight", true},
    {"c::kbd_backlight", 1, 0, "", false},
    {"foo::status", 255, 0, "[none] heartbeat", false},
}};
inline constexpr const char* kGoneLed = "gone::kbd_backlight";

inline int ledIndex(const std::string& name)
{
    for (int i = 0; i < int(kLeds.size()); ++i)
        if (name == kLeds[i].name)
            return i;
    return -1;
}

inline std::string activeTrigger(const std::string& text)
{
    const auto open = text.find('['), close = text.find(']');
    return open == std::string::npos ? std::string() : text.substr(open + 1, close - open - 1);
}

struct LightModel {
    // One record per LED: what the user should find it showing.
    struct Led {
        // The trigger it shows when lit: the one it was found with; none, since Beamwick
        // switched it off, which leaves a dark LED no trigger that could light it; none still,
        // lit since by its key; or none for good, gone with settings of the previous version
        // while it was without one.
        enum class Trigger { asFound, droppedWhileDark, litWithout, lost };

        unsigned found; // the user's brightness: as found, or as a key set it since
        bool on;        // as found, or as the user last switched it while Beamwick drove it
        bool present = true;
        Trigger trigger = Trigger::asFound;
        // Driven by Beamwick once, which keeps its brightness from then on.
        bool met = false;
        // Switched off by its key while Beamwick did not drive it: any brightness it had since
        // Beamwick last saw it is lost to Beamwick.
        bool foundUnknown = false;
        // Held by a run that was killed, whose note counts a dark LED as on: a key that switches
        // it off tells the note is out of date only where its value differs from the last
        // one, which sysfs cannot be made to show, so such stories are left out.
        bool heldByKilledRun = false;
        // What its keys have set: the firmware tells a key pressed since Beamwick's note only by
        // a value it has not shown before, so a story's keys never repeat one.
        std::bitset<256> keyed;

        bool showsTriggerAsFound() const { return on && trigger == Trigger::asFound; }
        // Switched on or off through Beamwick.
        void switched(bool toOn)
        {
            if (trigger != Trigger::lost)
                trigger = toOn ? Trigger::asFound : Trigger::droppedWhileDark;
        }
    };
    std::array<Led, kLeds.size()> leds{};
    bool running = false;
    std::string env;   // BEAMWICK_LED of the running process
    std::string saved; // the choice in the settings
    std::string inUse;
    bool failing = false;
    // No run is killed or pending since the last quit that handed every light back.
    bool clean = true;
    // Settings of the previous version wait for their first start; their table is this LED's.
    int upgradeFor = -1;
    // The lid closed, the session locked, on battery; and the user's choices for the last two.
    std::array<bool, 3> conditions{};
    std::array<bool, 2> darkChoices{};
    // Since the light went dark, a write failed or the light in use came and went unwatched:
    // nothing tells the controller to darken it again.
    bool darkUnsure = false;

    LightModel()
    {
        for (std::size_t i = 0; i < kLeds.size(); ++i)
            leds[i].found = kLeds[i].found, leds[i].on = kLeds[i].found > 0;
    }
    // Why the light is held dark: 0 for not, then the lid, the lock, battery power.
    int darkReason() const
    {
        return conditions[0]                     ? 1
               : conditions[1] && darkChoices[0] ? 2
               : conditions[2] && darkChoices[1] ? 3
                                                 : 0;
    }
    bool dark() const { return darkReason() != 0; }
    bool usable(const std::string& name) const
    {
        const int i = ledIndex(name);
        return i >= 0 && leds[i].present;
    }
    // The light Beamwick takes: BEAMWICK_LED's, the saved choice, then the rules.
    std::string pick(const std::string& variable, const std::string& choice) const
    {
        for (const auto& name : {variable, choice})
            if (usable(name))
                return name;
        return rulesPick();
    }
    std::string rulesPick() const
    {
        for (const int i : {0, 1, 2})
            if (leds[i].present)
                return kLeds[i].name;
        return {};
    }
};

// The LEDs a story plays with, and the module's client over them.
struct StoryLeds {
    virtual ~StoryLeds() = default;
    virtual void add(const FakeLedTree::Led& led) = 0;
    virtual void remove(const std::string& name) = 0;
    virtual int brightness(const std::string& name) const = 0;
    virtual std::string text(const std::string& name, const char* attribute) const = 0;
    virtual void write(const std::string& name, const char* attribute, const std::string& text) = 0;
    virtual void showTriggersAsTheKernelDoes() = 0;
    virtual void refuseWrites(bool refuse) = 0;
    virtual std::string keyFile(const std::string& name) const = 0;
    virtual std::unique_ptr<Brightness> client() const = 0;
};

// The same story on either: LEDs (FakeLedTree or MemoryLeds) and how the client is made.
template <typename Leds> struct StoryLedsOf : StoryLeds {
    void add(const FakeLedTree::Led& led) override { leds.add(led); }
    void remove(const std::string& name) override { leds.remove(name); }
    int brightness(const std::string& name) const override { return leds.brightness(name); }
    std::string text(const std::string& name, const char* attribute) const override
    {
        return leds.text(name, attribute);
    }
    void write(const std::string& name, const char* attribute, const std::string& text) override
    {
        leds.write(name, attribute, text);
    }
    void showTriggersAsTheKernelDoes() override { leds.showTriggersAsTheKernelDoes(); }
    Leds leds;
};

// The module's code in this process, over LEDs and notes in memory.
struct InMemory final : StoryLedsOf<MemoryLeds> {
    void refuseWrites(bool refuse) override { leds.refuseWrites(refuse); }
    std::string keyFile(const std::string& name) const override { return leds.keyFile(name); }
    std::unique_ptr<Brightness> client() const override { return leds.client(); }
};

// The module's test build loaded from its file, over LEDs laid out on disk, its notes in a
// runtime folder of the story's own.
struct OnFiles final : StoryLedsOf<FakeLedTree> {
    OnFiles()
    {
        setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
        pointLedModuleAt(leds.root());
        refuseLedModuleWrites(false);
    }
    ~OnFiles() override
    {
        refuseLedModuleWrites(false);
        pointLedModuleAt({});
    }
    void refuseWrites(bool refuse) override { refuseLedModuleWrites(refuse); }
    std::string keyFile(const std::string& name) const override
    {
        return (leds.root() / name / "brightness_hw_changed").string();
    }
    std::unique_ptr<Brightness> client() const override
    {
        return std::make_unique<Brightness>(BEAMWICK_LEDS_MODULE_PATH);
    }
    PrivateFolder runtime{"beamwick-runtime"};
};

struct LightRig : ControllerRig {
    explicit LightRig(std::unique_ptr<StoryLeds> leds) : m_leds(std::move(leds)), tree(*m_leds)
    {
        setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/beamwick-test-bus", 1);
        unsetenv("BEAMWICK_LED");
        for (const auto& led : kLeds)
            plug(led, led.found, led.triggers, "");
    }
    ~LightRig() { logo.reset(); }
    void plug(const StoryLed& led, unsigned brightness, const std::string& triggers,
              const std::string& keyText)
    {
        tree.add({led.name, led.maxBrightness, brightness, triggers});
        if (led.keys)
            tree.write(led.name, "brightness_hw_changed", keyText);
    }
    void start(const std::string& variable)
    {
        if (variable.empty())
            unsetenv("BEAMWICK_LED");
        else
            setenv("BEAMWICK_LED", variable.c_str(), 1);
        logo = make({.brightness = tree.client(),
                     .watchFile =
                         [this](const std::string& path) {
                             auto notice = std::make_unique<ChangeNotice>();
                             notices[path] = notice.get();
                             return notice;
                         },
                     .desktopLight = &desktop});
        unsetenv("BEAMWICK_LED");
    }
    void pressKey(const StoryLed& led, unsigned value)
    {
        tree.write(led.name, "brightness", std::to_string(value) + "\n");
        tree.write(led.name, "brightness_hw_changed", std::to_string(value) + "\n");
        if (const auto notice = notices[tree.keyFile(led.name)])
            notice->post();
    }
    // As UPower does for the desktop: it writes the LED itself, then announces the level.
    void desktopSets(const StoryLed& led, unsigned value, int before = -1)
    {
        tree.write(led.name, "brightness", std::to_string(value) + "\n");
        desktop.serve(int(led.maxBrightness));
        if (before >= 0)
            desktop.post(before);
        desktop.post(int(value));
    }
    // Settings as the version before saved them: the table of `led` without its LED's number.
    void settingsOfThePreviousVersion(const StoryLed& led, unsigned found)
    {
        const std::string trigger = activeTrigger(led.triggers);
        const double code =
            trigger.empty() ? FactoryRows::noTrigger : FactoryRows::triggerCode(trigger);
        QJsonArray rows;
        for (const auto& row : FactoryRows::encode(found, code, 0))
            rows.append(QJsonArray{row[0], row[1], row[2], row[3]});
        defaults.values = QJsonObject{{"mode", "Steady"}, {"brightness", 0.5}, {"baseMap", rows}};
        tablesChecked = -1;
    }

    std::unique_ptr<StoryLeds> m_leds;
    StoryLeds& tree;
    // How many settings writes the saved tables were last looked at after.
    mutable int tablesChecked = -1;
    std::unique_ptr<LogoController> logo;
    std::map<std::string, QPointer<ChangeNotice>> notices;
    DesktopLightNotice desktop;
    // What an unplugged LED showed: brightness, trigger text, key text.
    std::map<int, std::array<std::string, 3>> away;
};

// A story's rig, made as RapidCheck makes a system, by default: on LEDs in memory, or on disk
// where BEAMWICK_STORIES_ON_FILES is set.
struct StoryRig : LightRig {
    static std::unique_ptr<StoryLeds> leds()
    {
        if (std::getenv("BEAMWICK_STORIES_ON_FILES"))
            return std::make_unique<OnFiles>();
        return std::make_unique<InMemory>();
    }
    StoryRig() : LightRig(leds()) {}
};
