#pragma once

#include "control/LogoController.h"
#include "platform/PrivilegedRunner.h"
#include "platform/WillTerminate.h"
#include "tests/fakes/FakeAudioMeter.h"
#include "tests/fakes/FakeClock.h"
#include "tests/fakes/FakeService.h"
#include "tests/fakes/MemoryDefaultsStore.h"

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
// settings store, a hand-driven clock, a meter that never listens and a private quit notice.
struct ControllerRig {
    ControllerRig() { service.reset(); }

    LogoController::Environment
    environment(const std::string& modulePath = FAKE_SERVICE_MODULE_PATH)
    {
        LogoController::Environment env;
        env.brightness = std::make_unique<Brightness>(modulePath);
        auto fakeMeter = std::make_unique<FakeAudioMeter>();
        meter = fakeMeter.get();
        env.meter = std::move(fakeMeter);
        env.defaults = &defaults;
        env.clock = &clock;
        env.willTerminate = &willTerminate;
        env.privilegedRunner = &runner;
        env.fileExists = [this](const std::string& path) { return files.count(path) > 0; };
        return env;
    }

    std::unique_ptr<LogoController> make()
    {
        return std::make_unique<LogoController>(environment());
    }

    FakeService service;
    MemoryDefaultsStore defaults;
    FakeClock clock;
    WillTerminate willTerminate;
    ScriptedRunner runner;
    std::set<std::string> files;
    FakeAudioMeter* meter = nullptr;
};
