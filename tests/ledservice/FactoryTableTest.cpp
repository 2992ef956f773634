#include "ledservice/FactoryTable.h"

#include "LedModuleFixture.h"
#include "serviceabi/ServiceContract.h"

#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <limits>
#include <vector>

TEST(FactoryTableTest, CarriesTheBrightnessTriggerAndLedAndTellsEarlierTablesApart)
{
    const auto code = FactoryTable::triggerCode("kbd-backlight");
    const auto led = FactoryTable::ledCode("tpacpi::kbd_backlight");
    EXPECT_NE(code, FactoryTable::triggerCode("none"));
    EXPECT_NE(led, FactoryTable::ledCode("tpacpi::kbd_backlighT"));
    const FactoryTable found(200, code, led);
    // The LED sits where the client looks for a light's identity.
    EXPECT_EQ(found.rows().back().at(ServiceContract::tableIdentityIndex), led);
    EXPECT_EQ(found.rows(), (FactoryTable::Table{{200, 25, 1, code, led},
                                                 {200, 50, 2, code, led},
                                                 {200, 75, 3, code, led},
                                                 {200, 100, 4, code, led}}));
    EXPECT_EQ(FactoryTable::foundBrightnessOf(found.rows()), 200u);
    EXPECT_EQ(FactoryTable::triggerCodeOf(found.rows()), code);
    EXPECT_EQ(FactoryTable::ledCodeOf(found.rows()), led);
    EXPECT_EQ(FactoryTable::foundBrightnessOf({{199.6, 5}, {199.6, 10}, {199.6, 1}, {199.6, 0}}),
              200u);
    // Without a trigger attribute the row keeps its place for the LED.
    const FactoryTable bare(0, std::nullopt, led);
    EXPECT_EQ(bare.rows().front(), (std::vector<double>{0, 25, 1, FactoryTable::noTrigger, led}));
    EXPECT_FALSE(FactoryTable::triggerCodeOf(bare.rows()));
    // No trigger's code, and still a table every version accepts.
    EXPECT_GT(FactoryTable::noTrigger, double(std::numeric_limits<std::uint32_t>::max()));
    EXPECT_TRUE(FactoryTable::accept(PropertyValue::table(bare.rows())));
    EXPECT_EQ(FactoryTable::ledCodeOf(bare.rows()), led);
    // Dimmed copies keep the brightness but neither the trigger nor the LED; rows that disagree
    // name nothing.
    EXPECT_EQ(FactoryTable::foundBrightnessOf({{200, 5}, {200, 10}, {200, 15}, {200, 20}}), 200u);
    EXPECT_FALSE(FactoryTable::triggerCodeOf({{200, 5}, {200, 10}, {200, 15}, {200, 20}}));
    EXPECT_FALSE(FactoryTable::ledCodeOf({{200, 5}, {200, 10}, {200, 15}, {200, 20}}));
    auto mixed = found.rows();
    mixed[3][4] = led + 1;
    EXPECT_FALSE(FactoryTable::ledCodeOf(mixed));
    // The previous version's rows, [found, nits, k, trigger]: no LED.
    FactoryTable::Table previous;
    for (const auto& row : found.rows())
        previous.push_back({row.begin(), row.begin() + 4});
    EXPECT_EQ(FactoryTable::triggerCodeOf(previous), code);
    EXPECT_FALSE(FactoryTable::ledCodeOf(previous));

    // What earlier versions saved: [round(k/4 * max_brightness), 25 k, k]. Whatever the range,
    // the first numbers differ from row to row, so such a table carries no brightness.
    for (unsigned max : {1u, 2u, 3u, 100u, 255u, 65535u}) {
        FactoryTable::Table earlier;
        for (int k = 1; k <= 4; ++k)
            earlier.push_back({std::floor(k / 4.0 * max + 0.5), 25.0 * k, double(k)});
        EXPECT_FALSE(FactoryTable::foundBrightnessOf(earlier)) << max;
        EXPECT_TRUE(FactoryTable::isWholeFactoryTable(earlier)) << max;
        EXPECT_FALSE(FactoryTable::triggerCodeOf(earlier)) << max;
        EXPECT_FALSE(FactoryTable::ledCodeOf(earlier)) << max;
    }
}

TEST(FactoryTableTest, ReadsTheLevelOfScaledCopiesAndTellsTheRestoreApart)
{
    const FactoryTable factory(255, std::nullopt, FactoryTable::ledCode("a"));
    const auto dimmed = [&](double level) {
        return *factory.accept(scaled(factory.rows(), level));
    };
    for (double level : {0.02, 0.5, 1.0, ServiceContract::topLevel})
        EXPECT_NEAR(factory.levelOf(dimmed(level)), level, 1e-12);

    EXPECT_FALSE(factory.isWholeFactoryTable(dimmed(1.0)));
    EXPECT_TRUE(factory.isWholeFactoryTable(*factory.accept(PropertyValue::table(factory.rows()))));
    // Another LED's factory table is still a whole table; the service tells it apart by its LED.
    const FactoryTable other(3, std::nullopt, FactoryTable::ledCode("b"));
    EXPECT_TRUE(factory.isWholeFactoryTable(*factory.accept(PropertyValue::table(other.rows()))));
}

TEST(FactoryTableTest, RefusesWhatIsNotARowPerFactoryRowOfTwoGoodNumbers)
{
    using PV = PropertyValue;
    const FactoryTable factory(255, std::nullopt, 0);
    const double nan = std::nan("");
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<PV> refused = {
        PV::integer(1),
        PV::string("[[1,2]]"),
        PV::array({}),
        PV::table({{1, 2}, {1, 2}, {1, 2}}),
        PV::table({{1, 2}, {1, 2}, {1, 2}, {1, 2}, {1, 2}}),
        PV::table({{1, 2}, {1, 2}, {1, 2}, {1}}),
        PV::table({{1, 2}, {1, 2}, {1, 2}, {1, -2}}),
        PV::table({{1, 2}, {1, 2}, {1, 2}, {1, nan}}),
        PV::table({{1, 2}, {1, 2}, {1, 2}, {inf, 2}}),
        PV::table({{1, 2}, {1, 2}, {1, 2}, {1, 2, -1}}),
        PV::array({PV::array({PV::integer(1), PV::string("2")}), PV::array({}), PV::array({}),
                   PV::array({})}),
    };
    for (const auto& value : refused)
        EXPECT_FALSE(factory.accept(value).has_value());
    EXPECT_TRUE(factory.accept(PV::array({PV::array({PV::integer(1), PV::integer(2)}),
                                          PV::array({PV::integer(1), PV::real(2.5)}),
                                          PV::array({PV::integer(0), PV::integer(0)}),
                                          PV::array({PV::integer(1), PV::integer(2)})})));
}
