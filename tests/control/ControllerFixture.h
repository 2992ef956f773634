#pragma once

#include "control/LogoController.h"
#include "platform/PrivilegedRunner.h"
#include "platform/WillTerminate.h"
#include "tests/fakes/FakeAudioMeter.h"
#include "tests/fakes/FakeClock.h"
#include "tests/fakes/FakeService.h"
#include "tests/fakes/MemoryDefaultsStore.h"

#include <QJsonArray>
#include <gtest/gtest.h>
#include <memory>
#include <set>
#include <string>
#include <vector>

inline QJsonArray jsonTable(std::initializer_list<std::initializer_list<double>> rows)
{
    QJsonArray out;
    for (const auto& row : rows) {
        QJsonArray numbers;
        for (double n : row)
            numbers.append(n);
        out.append(numbers);
    }
    return out;
}

class RecordingRunner final : public PrivilegedRunner {
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

// A controller over the recording service module, an in-memory defaults store, a hand-driven
// clock and a meter that never listens.
class ControllerTest : public ::testing::Test {
protected:
    void SetUp() override { service.reset(); }

    LogoController& make(const std::string& modulePath = FAKE_SERVICE_MODULE_PATH)
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
        logo = std::make_unique<LogoController>(std::move(env));
        return *logo;
    }

    std::vector<PropertyValue> tableWrites() const
    {
        return service.writesOf(FakeService::tableKey);
    }
    std::vector<double> writtenLevels() const
    {
        std::vector<double> levels;
        for (const auto& table : tableWrites())
            levels.push_back(levelOf(table));
        return levels;
    }

    FakeService service;
    MemoryDefaultsStore defaults;
    FakeClock clock;
    WillTerminate willTerminate;
    RecordingRunner runner;
    std::set<std::string> files;
    FakeAudioMeter* meter = nullptr;
    std::unique_ptr<LogoController> logo;
};
