// The real executable and LED module on LEDs shaped like real ones, in umockdev's testbed, with a
// private sound server: every mode shows itself, and every ending (a quit, or a kill followed by
// a start and a quit) leaves every LED as it was found.
#include "testkit/audio/TonePlayer.h"
#include "testkit/fakes/FakeLedTree.h"
#include "testkit/services/PrivateBus.h"
#include "testkit/services/PrivateSoundServer.h"
#include "testkit/support/Poll.h"
#include "tests/system/PrivateInstall.h"

#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <chrono>
#include <csignal>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;

constexpr const char* kName = "org.beamwick.Beamwick";

// The steps the driven LED shows, with Breathe and Steady at brightness 1.0 and Music at 2.0 (so
// that on a fine LED a flash stands above the factory brightness).
struct Sight {
    int steady;
    int breatheLow;
    int breatheHigh;
    int musicLow;
    int musicFlash;
};

struct Phase {
    // The user lights the LED at this step, with its own key, before the phase.
    std::optional<unsigned> litWithItsKey;
    Sight sight;
    // Found off: no mode lights it, since Beamwick does not switch a light on by itself.
    bool dark = false;
};

struct LightShape {
    const char* id;
    // The last one is the light Beamwick drives.
    std::vector<FakeLedTree::Led> leds;
    std::vector<Phase> phases;
    // After every kill, a Steady run on this other light, chosen as the tray menu saves a
    // choice, before the driven light runs again.
    const char* otherLight = nullptr;
};

void PrintTo(const LightShape& shape, std::ostream* out)
{
    *out << shape.id;
}

// With F the brightness found, M the maximum: Steady F; Breathe from round(0.03 F) (at least 1
// from ten steps up) to F; Music between round(0.02 F) and F + (M - F) / 7.
const LightShape kShapes[] = {
    {"OneStepLidLogo",
     {{"test::lid_logo", 1, 1, "none [default-on] timer"}},
     {{{}, {1, 0, 1, 0, 1}}}},
    {"TwoStepsAtOne",
     {{"test::kbd_backlight", 2, 1, "[none] timer heartbeat"}},
     {{{}, {1, 0, 1, 0, 1}}}},
    {"ThreeStepsFull", {{"test::kbd_backlight", 3, 3, "[none] timer"}}, {{{}, {3, 0, 3, 0, 3}}}},
    // A trigger that blinks the LED: left active, it would fight every level written.
    {"HundredStepsBlinking",
     {{"test::kbd_backlight", 100, 60, "none [timer] heartbeat"}},
     {{{}, {60, 2, 60, 1, 66}}}},
    {"TwoHundredFiftyFiveSteps",
     {{"test::kbd_backlight", 255, 200, "[none] timer"}},
     {{{}, {200, 6, 200, 4, 208}}}},
    // Off on the first start, then lit by the user with its key while Beamwick does not run.
    {"TwoHundredFiftyFiveStepsOffAtStart",
     {{"test::kbd_backlight", 255, 0, "[none] timer"}},
     {{{}, {0, 0, 0, 0, 0}, true}, {128, {128, 4, 128, 3, 146}}}},
    // The logo is driven; the keyboard light beside it is never touched.
    {"LidLogoBesideAKeyboardLight",
     {{"test::kbd_backlight", 3, 2, "none [timer]"}, {"test::lid_logo", 1, 1, "[none] default-on"}},
     {{{}, {1, 0, 1, 0, 1}}}},
    // The logo's factory state outlives a kill at a dim moment followed by a run on the
    // keyboard light.
    {"TwoLightsTakenInTurn",
     {{"test::kbd_backlight", 255, 150, "[none] timer"},
      {"test::lid_logo", 255, 200, "none [timer]"}},
     {{{}, {200, 6, 200, 4, 208}}},
     "test::kbd_backlight"},
};

// Whether the process has its own handler for the signal: from then on a SIGTERM is a quit.
bool catches(qint64 pid, int signal)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("SigCgt:", 0) == 0)
            return (std::stoull(line.substr(7), nullptr, 16) >> (signal - 1)) & 1;
    }
    return false;
}

class LightShapeTest : public ::testing::TestWithParam<LightShape> {
protected:
    struct State {
        int brightness;
        std::string trigger;
        bool operator==(const State&) const = default;
        friend void PrintTo(const State& s, std::ostream* out)
        {
            *out << s.brightness << " (" << s.trigger << ")";
        }
    };
    using Snapshot = std::map<std::string, State>;

    void SetUp() override
    {
        ASSERT_TRUE(install.ready());
        for (const auto& led : GetParam().leds)
            testbed.add(led);
        driven = GetParam().leds.back().name;
        ASSERT_TRUE(server.start()) << server.errorText();
        ASSERT_TRUE(bus.start()) << bus.errorText();
    }

    // Every LED as the kernel would show it: its brightness and its active trigger.
    Snapshot snapshot()
    {
        testbed.showTriggersAsTheKernelDoes();
        Snapshot leds;
        for (const auto& led : GetParam().leds) {
            const std::string text = testbed.text(led.name, "trigger");
            const auto open = text.find('['), close = text.find(']');
            leds[led.name] = {testbed.brightness(led.name),
                              open < close && close != std::string::npos
                                  ? text.substr(open + 1, close - open - 1)
                                  : text};
        }
        return leds;
    }

    void start(QProcess& beamwick, const char* mode, double brightness, const char* light = "")
    {
        ASSERT_TRUE(install.setSettings({{"mode", mode},
                                         {"brightness", brightness},
                                         {"breatheSeconds", 2.0},
                                         {"light", light}}));
        auto env = testbed.environment(install.environment());
        env.insert("PULSE_SERVER", QString::fromStdString(server.address()));
        env.insert("DBUS_SESSION_BUS_ADDRESS", QString::fromStdString(bus.address()));
        beamwick.setProcessEnvironment(env);
        // The name answers for this run only once the last run has let go of it.
        ASSERT_TRUE(pollUntil([&] { return !bus.hasOwner(kName); }, 10s));
        beamwick.start(install.executable(), {});
        ASSERT_TRUE(beamwick.waitForStarted(5000));
        shown.clear();
        story << "\n  " << mode << ":";
    }

    // Samples the LEDs every 2 ms until done() holds for the driven LED's brightness or the time
    // is up. Every other LED must keep the state it was found in all along.
    bool watch(const std::function<bool(int)>& done, std::chrono::milliseconds limit)
    {
        return pollUntil(
            [&] {
                const auto now = snapshot();
                for (const auto& [name, state] : now) {
                    if (name == driven)
                        continue;
                    // A hand-back writes the brightness, then the trigger: a sample may fall
                    // between the two, so each shows either the leftover or the found one.
                    State expected = found.at(name);
                    if (const auto left = leftover.find(name); left != leftover.end()) {
                        if (state.brightness == left->second.brightness)
                            expected.brightness = state.brightness;
                        if (state.trigger == left->second.trigger)
                            expected.trigger = state.trigger;
                    }
                    EXPECT_EQ(state, expected) << name << " was touched";
                }
                // The testbed's attribute is a plain file, empty for a moment while it is
                // rewritten.
                const int value = now.at(driven).brightness;
                if (value < 0)
                    return false;
                if (shown.empty() || shown.back() != value) {
                    shown.push_back(value);
                    story << " " << value;
                }
                return done(value);
            },
            limit);
    }

    void see(int value)
    {
        EXPECT_TRUE(watch([value](int b) { return b == value; }, 10s))
            << "never showed " << value << "; showed" << story.str();
    }

    // Beamwick answers on the bus once it has found the light and set its mode going: a light it
    // took for lit would be written from then on at every tick, and Music would be listening.
    void staysDark()
    {
        EXPECT_TRUE(watch([&](int) { return bus.hasOwner(kName); }, 10s)) << story.str();
        watch([](int) { return false; }, 6 * 50ms);
        EXPECT_EQ(shown, std::vector<int>{0}) << story.str();
        EXPECT_EQ(server.pactl("list short source-outputs"), "");
    }

    void kill(QProcess& beamwick)
    {
        ::kill(static_cast<pid_t>(beamwick.processId()), SIGKILL);
        ASSERT_TRUE(beamwick.waitForFinished(10000));
        // The kernel lists every trigger, the active one in brackets, as the next start reads it.
        testbed.showTriggersAsTheKernelDoes();
        story << " | killed at " << testbed.brightness(driven);
        if (const char* other = GetParam().otherLight)
            steadyOnTheOtherLightThenQuit(other);
    }

    // The other light shows its own factory brightness and is handed back as found, and the
    // killed run's light is handed back as found too: Beamwick still held it.
    void steadyOnTheOtherLightThenQuit(const std::string& other)
    {
        const Snapshot before = found;
        const std::string first = driven;
        driven = other;
        found = snapshot();
        // Until its hand-back, the killed run's leftover.
        leftover = {{first, found.at(first)}};
        found.at(first) = before.at(first);
        QProcess beamwick;
        start(beamwick, "Steady", 1.0, other.c_str());
        see(found.at(other).brightness);
        quit(beamwick);
        leftover.clear();
        driven = first;
        found = before;
    }

    // As a desktop ends it: SIGTERM, once the process would take it as a quit.
    void quit(QProcess& beamwick)
    {
        const auto pid = beamwick.processId();
        EXPECT_TRUE(watch([&](int) { return catches(pid, SIGTERM); }, 10s));
        ::kill(static_cast<pid_t>(pid), SIGTERM);
#if defined(__SANITIZE_THREAD__)
        // ThreadSanitizer's runtime holds a signal that lands on a thread outside the calls it
        // watches until that thread calls into it again, which an idle thread may not do for
        // many seconds. Beamwick built without it takes the one SIGTERM at once, as the other
        // builds of this test check.
        bool finished = beamwick.waitForFinished(2000);
        for (int i = 0; i < 4 && !finished; ++i) {
            ::kill(static_cast<pid_t>(pid), SIGTERM);
            finished = beamwick.waitForFinished(2000);
        }
        ASSERT_TRUE(finished);
#else
        ASSERT_TRUE(beamwick.waitForFinished(10000));
#endif
        EXPECT_EQ(beamwick.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(beamwick.exitCode(), 0);
        const auto after = snapshot();
        story << " | quit: " << after.at(driven).brightness << " (" << after.at(driven).trigger
              << ")";
        EXPECT_EQ(after, found) << "not as found after a quit;" << story.str();
    }

    // A start in Steady after a kill: the LED is on again at the factory brightness, and quitting
    // hands it back as found.
    void steadyThenQuit(const Phase& phase)
    {
        QProcess beamwick;
        start(beamwick, "Steady", 1.0);
        if (phase.dark) {
            staysDark();
        } else {
            see(phase.sight.steady);
            // A light handed back already shows its brightness before Beamwick takes it: wait
            // until it has let go of the trigger too, or the testbed's plain file would still
            // hold only that "none" when the quit looks for the trigger to give back.
            EXPECT_TRUE(watch([&](int) { return snapshot().at(driven).trigger == "none"; }, 10s));
        }
        quit(beamwick);
    }

    PrivateInstall install{BEAMWICK_LEDS_MODULE_PATH};
    FakeLedTree testbed;
    PrivateSoundServer server;
    QTemporaryDir busFolder;
    PrivateBus bus{busFolder.path().toStdString()};
    std::string driven;
    Snapshot found;
    Snapshot leftover;
    std::vector<int> shown;
    std::ostringstream story;
};

} // namespace

TEST_P(LightShapeTest, EveryModeShowsItselfAndEveryEndingLeavesTheLedsAsFound)
{
    for (const auto& phase : GetParam().phases) {
        if (phase.litWithItsKey)
            testbed.setBrightness(driven, *phase.litWithItsKey);
        found = snapshot();
        story.str({});
        story << "found " << found.at(driven).brightness << " (" << found.at(driven).trigger << ")";
        const Sight& sight = phase.sight;
        SCOPED_TRACE(phase.dark ? "found off" : "found lit");

        // Breathe: down from the factory brightness, up to it and down to the floor, killed there.
        {
            QProcess beamwick;
            start(beamwick, "Breathe", 1.0);
            if (phase.dark) {
                staysDark();
            } else {
                const int high = sight.breatheHigh;
                EXPECT_TRUE(watch([high](int b) { return b < high; }, 10s)) << story.str();
                see(high);
                see(sight.breatheLow);
                // Driven, the LED has no trigger of its own.
                EXPECT_EQ(snapshot().at(driven).trigger, "none");
            }
            kill(beamwick);
        }
        steadyThenQuit(phase);

        // Music: held low, a flash on every kick; killed in the middle of a flash.
        {
            QProcess beamwick;
            start(beamwick, "Music", 2.0);
            std::vector<double> kicks;
            for (double at = 0.5; at < 6.0; at += 0.5)
                kicks.push_back(at);
            TonePlayer player(server.address(), kickTrack(kicks, 6.5));
            if (phase.dark) {
                staysDark();
            } else {
                see(sight.musicLow);
                see(sight.musicFlash);
            }
            kill(beamwick);
        }
        steadyThenQuit(phase);

        std::cout << "[  " << GetParam().id << " on " << server.name() << " ] " << story.str()
                  << std::endl;
    }
}

INSTANTIATE_TEST_SUITE_P(LightShapes, LightShapeTest, ::testing::ValuesIn(kShapes),
                         [](const auto& info) { return std::string(info.param.id); });
