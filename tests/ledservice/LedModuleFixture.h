#pragma once

#include "LedModuleHooks.h"
#include "brightness/Brightness.h"
#include "serviceabi/ServiceContract.h"
#include "testkit/fakes/FakeLedTree.h"
#include "testkit/services/PrivateFolder.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>

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

    // A dimming write as the controller makes it: two numbers per factory row.
    static PropertyValue tableAt(const Brightness& bs, double level)
    {
        const auto factory = bs.get(tableKey)->asTable().value();
        PropertyValue::Table rows;
        for (const auto& row : factory)
            rows.push_back({row[0], row[1] * level});
        return PropertyValue::table(rows);
    }

    static PropertyValue on() { return PropertyValue::integer(1); }
    static PropertyValue off() { return PropertyValue::integer(0); }

    // The note the module keeps there while it holds an LED on, as text; empty when none.
    std::string note() const { return FakeLedTree::read(runtime / "beamwick-led.note"); }

    FakeLedTree tree;
    PrivateFolder runtime{"beamwick-runtime"};
};
