#pragma once

#include "testkit/fakes/ControllerRig.h"

#include <QJsonArray>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The level Breathe asks for at a phase (in breaths) of a breath up to the brightness: a
// raised cosine from the floor, 0.03.
inline double breathLevel(double phase, double brightness = 1.0)
{
    const double w = 0.5 - 0.5 * std::cos(phase * 6.283185307179586);
    return w * (brightness - 0.03) + 0.03;
}

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

// A controller over the recording service module, an in-memory defaults store, a hand-driven
// clock and a meter that never listens.
class ControllerTest : public ::testing::Test, protected ControllerRig {
protected:
    LogoController& make(const std::string& modulePath = FAKE_SERVICE_MODULE_PATH)
    {
        logo = std::make_unique<LogoController>(environment({.modulePath = modulePath}));
        return *logo;
    }

    std::vector<PropertyValue> tableWrites() const
    {
        return service.writesOf(FakeService::tableKey);
    }
    // The table the engine writes for a level over the fake's factory table
    // [[10, 100], [20, 400]], computed as the engine must: the second number times the level.
    static PropertyValue::Table tableFor(double level)
    {
        return {{10, level * 100}, {20, level * 400}};
    }
    std::vector<double> writtenLevels() const
    {
        std::vector<double> levels;
        for (const auto& table : tableWrites())
            levels.push_back(levelOf(table));
        return levels;
    }

    // One period of the effect engine's timer passes; the timer must be running.
    void tick(int count = 1)
    {
        for (int i = 0; i < count; ++i)
            EXPECT_TRUE(ticker->tick()) << "the timer is stopped";
    }

    // Quits, and returns the table handed back to the service then: the factory table the
    // controller holds. Nothing when quitting wrote no table.
    std::optional<PropertyValue::Table> tableRestoredAtQuit()
    {
        return lastTableWrittenBy([this] { willTerminate.post(); });
    }
    std::optional<PropertyValue::Table> lastTableWrittenBy(const std::function<void()>& act)
    {
        if (tablesWrittenBy(act) == 0)
            return std::nullopt;
        return tableWrites().back().asTable();
    }
    // How many tables `act` wrote.
    std::size_t tablesWrittenBy(const std::function<void()>& act)
    {
        const auto before = tableWrites().size();
        act();
        return tableWrites().size() - before;
    }

    std::unique_ptr<LogoController> logo;
};
