#pragma once

#include "control/LogoController.h"
#include "platform/PrivilegedRunner.h"
#include "platform/SleepNotice.h"
#include "platform/WillTerminate.h"
#include "testkit/fakes/FakeAudioMeter.h"
#include "testkit/fakes/FakeClock.h"
#include "testkit/fakes/FakeService.h"
#include "testkit/fakes/FakeTicker.h"
#include "testkit/fakes/MemoryDefaultsStore.h"

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

// Stands in for the administrator prompt: records the command and runs a chosen effect.
class ScriptedRunner final : public PrivilegedRunner {
public:
    void run(const std::vector<std::string>& argv) override
    {
        calls.push_back(argv);
        if (effect)
            effect();
    }
    std::vector<std::vector<std::string>> calls;
    std::function<void()> effect;
};

// Everything a real controller needs, faked: the recording service module, an in-memory
// settings store, a hand-driven clock and ticker, a meter that never listens and private quit
// and wake-up notices. meter and ticker point at those of the controller made last.
struct ControllerRig {
    ControllerRig() { service.reset(); }

    LogoController::Environment
    environment(const std::string& modulePath = FAKE_SERVICE_MODULE_PATH)
    {
        return environment(defaults, modulePath);
    }

    // The same over another settings store.
    LogoController::Environment
    environment(DefaultsStore& store, const std::string& modulePath = FAKE_SERVICE_MODULE_PATH)
    {
        auto fakeMeter = std::make_unique<FakeAudioMeter>();
        meter = fakeMeter.get();
        auto fakeTicker = std::make_unique<FakeTicker>();
        ticker = fakeTicker.get();
        return {
            .brightness = std::make_unique<Brightness>(modulePath),
            .meter = std::move(fakeMeter),
            .ticker = std::move(fakeTicker),
            .defaults = store,
            .clock = clock,
            .willTerminate = willTerminate,
            .privilegedRunner = runner,
            .fileExists = [this](const std::string& path) { return files.count(path) > 0; },
            .sleepNotice = &sleep,
        };
    }

    std::unique_ptr<LogoController> make()
    {
        return std::make_unique<LogoController>(environment());
    }

    // Where the controller looks for the privilege rule an earlier version installed.
    static constexpr const char* oldSudoRule = "/etc/sudoers.d/beamwick";

    FakeService service;
    MemoryDefaultsStore defaults;
    FakeClock clock;
    WillTerminate willTerminate;
    SleepNotice sleep;
    ScriptedRunner runner;
    std::set<std::string> files;
    FakeAudioMeter* meter = nullptr;
    FakeTicker* ticker = nullptr;
};
