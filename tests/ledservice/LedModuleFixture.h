#pragma once

#include "LedModuleHooks.h"
#include "brightness/Brightness.h"
#include "ledservice/LedWriter.h"
#include "serviceabi/ServiceContract.h"
#include "testkit/fakes/FakeLedTree.h"
#include "testkit/services/PrivateFolder.h"

#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

// A dimming write as the controller makes it: two numbers per factory row.
inline PropertyValue scaled(const PropertyValue::Table& factory, double level)
{
    PropertyValue::Table rows;
    for (const auto& row : factory)
        rows.push_back({row[0], row[1] * level});
    return PropertyValue::table(rows);
}

// Writers for a service built by hand: one that hands every step to `take` and takes it, as
// logind does for a desktop user.
using StepTaker = std::function<void(const LedDevice&, unsigned)>;
inline std::vector<std::unique_ptr<LedWriter>> writingThrough(StepTaker take)
{
    struct Writer final : LedWriter {
        explicit Writer(StepTaker take) : m_take(std::move(take)) {}
        bool write(const LedDevice& led, unsigned brightness) override
        {
            m_take(led, brightness);
            return true;
        }
        StepTaker m_take;
    };
    std::vector<std::unique_ptr<LedWriter>> writers;
    writers.push_back(std::make_unique<Writer>(std::move(take)));
    return writers;
}

// Loads the real LED module through the real client, pointed at a fake LED tree, with no system
// bus reachable, so every write takes the sysfs way whatever the machine runs, and a runtime
// folder of its own for the module's note.
class LedModuleFixture : public ::testing::Test {
protected:
    static constexpr const char* modeKey = ServiceContract::backlightModeKey;
    static constexpr const char* tableKey = ServiceContract::tableKey;

    void SetUp() override
    {
        unsetenv("BEAMWICK_LED");
        setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/beamwick-test-bus", 1);
        pointLedModuleAt(tree.root());
        setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
    }
    void TearDown() override { pointLedModuleAt({}); }

    static std::unique_ptr<Brightness> open()
    {
        return std::make_unique<Brightness>(BEAMWICK_LEDS_MODULE_PATH);
    }

    // The dimming write for `level` over the table the client reads now.
    static PropertyValue tableAt(const Brightness& bs, double level)
    {
        return scaled(bs.get(tableKey)->asTable().value(), level);
    }

    static PropertyValue on() { return PropertyValue::integer(1); }
    static PropertyValue off() { return PropertyValue::integer(0); }

    // The note the module keeps there while it holds an LED on, as text; empty when none.
    std::string note() const { return FakeLedTree::read(runtime / "beamwick-led.note"); }

    FakeLedTree tree;
    PrivateFolder runtime{"beamwick-runtime"};
};
