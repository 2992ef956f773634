#pragma once

#include "tests/fakes/ControllerRig.h"

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

// A controller over the recording service module, an in-memory defaults store, a hand-driven
// clock and a meter that never listens.
class ControllerTest : public ::testing::Test, protected ControllerRig {
protected:
    LogoController& make(const std::string& modulePath = FAKE_SERVICE_MODULE_PATH)
    {
        logo = std::make_unique<LogoController>(environment(modulePath));
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

    std::unique_ptr<LogoController> logo;
};
