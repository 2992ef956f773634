#include "serviceabi/FactoryRows.h"

#include "serviceabi/ServiceContract.h"

#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <limits>
#include <vector>

namespace {

using Table = FactoryRows::Table;

// A dimming write as the controller makes it: two numbers per factory row.
PropertyValue scaled(const Table& factory, double level)
{
    Table rows;
    for (const auto& row : factory)
        rows.push_back({row[0], row[1] * level});
    return PropertyValue::table(rows);
}

} // namespace

TEST(FactoryRowsTest, CarriesTheBrightnessTriggerAndLedAndTellsEarlierTablesApart)
{
    const auto code = FactoryRows::triggerCode("kbd-backlight");
    const auto led = FactoryRows::ledCode("tpacpi::kbd_backlight");
    EXPECT_NE(code, FactoryRows::triggerCode("none"));
    EXPECT_NE(led, FactoryRows::ledCode("tpacpi::kbd_backlighT"));
    const Table found = FactoryRows::encode(200, code, led);
    // The controller files a table, whole or dimmed, under the LED its rows name.
    EXPECT_EQ(FactoryRows::lightOf(found), led);
    EXPECT_EQ(FactoryRows::lightOf({{200, 5, 1, code, led}, {100, 5, 2, code, led}}), led);
    EXPECT_EQ(found, (Table{{200, 25, 1, code, led},
                            {200, 50, 2, code, led},
                            {200, 75, 3, code, led},
                            {200, 100, 4, code, led}}));
    EXPECT_EQ(FactoryRows::foundOf(found), 200u);
    EXPECT_EQ(FactoryRows::triggerOf(found), code);
    EXPECT_EQ(FactoryRows::ledOf(found), led);
    EXPECT_EQ(FactoryRows::foundOf({{199.6, 5}, {199.6, 10}, {199.6, 1}, {199.6, 0}}), 200u);
    // Without a trigger attribute the row keeps its place for the LED.
    const Table bare = FactoryRows::encode(0, std::nullopt, led);
    EXPECT_EQ(bare.front(), (std::vector<double>{0, 25, 1, FactoryRows::noTrigger, led}));
    EXPECT_FALSE(FactoryRows::triggerOf(bare));
    // No trigger's code, and still a table every version accepts.
    EXPECT_GT(FactoryRows::noTrigger, double(std::numeric_limits<std::uint32_t>::max()));
    EXPECT_TRUE(FactoryRows::accept(PropertyValue::table(bare)));
    EXPECT_EQ(FactoryRows::ledOf(bare), led);
    // A key's brightness changes the first column of a saved table alone; a table of another
    // shape is taken whole.
    EXPECT_EQ(FactoryRows::withFoundOf(found, bare), FactoryRows::encode(0, code, led));
    EXPECT_EQ(FactoryRows::withFoundOf({{1, 2}}, found), found);
    // Dimmed copies keep the brightness but neither the trigger nor the LED; rows that disagree
    // name nothing.
    EXPECT_EQ(FactoryRows::foundOf({{200, 5}, {200, 10}, {200, 15}, {200, 20}}), 200u);
    EXPECT_FALSE(FactoryRows::triggerOf({{200, 5}, {200, 10}, {200, 15}, {200, 20}}));
    EXPECT_FALSE(FactoryRows::ledOf({{200, 5}, {200, 10}, {200, 15}, {200, 20}}));
    auto mixed = found;
    mixed[3][4] = led + 1;
    EXPECT_FALSE(FactoryRows::ledOf(mixed));
    // The previous version's rows, [found, nits, k, trigger]: no LED.
    Table previous;
    for (const auto& row : found)
        previous.push_back({row.begin(), row.begin() + 4});
    EXPECT_EQ(FactoryRows::triggerOf(previous), code);
    EXPECT_FALSE(FactoryRows::ledOf(previous));

    // What earlier versions saved: [round(k/4 * max_brightness), 25 k, k]. Whatever the range,
    // the first numbers differ from row to row, so such a table carries no brightness.
    for (unsigned max : {1u, 2u, 3u, 100u, 255u, 65535u}) {
        Table earlier;
        for (int k = 1; k <= 4; ++k)
            earlier.push_back({std::floor(k / 4.0 * max + 0.5), 25.0 * k, double(k)});
        EXPECT_FALSE(FactoryRows::foundOf(earlier)) << max;
        EXPECT_TRUE(FactoryRows::isWhole(earlier)) << max;
        EXPECT_FALSE(FactoryRows::triggerOf(earlier)) << max;
        EXPECT_FALSE(FactoryRows::ledOf(earlier)) << max;
    }
}

TEST(FactoryRowsTest, ReadsTheLevelOfScaledCopiesAndTellsTheRestoreApart)
{
    const Table factory = FactoryRows::encode(255, std::nullopt, FactoryRows::ledCode("a"));
    const auto dimmed = [&](double level) { return *FactoryRows::accept(scaled(factory, level)); };
    for (double level : {0.02, 0.5, 1.0, ServiceContract::topLevel})
        EXPECT_NEAR(FactoryRows::levelOf(dimmed(level)), level, 1e-12);

    EXPECT_FALSE(FactoryRows::isWhole(dimmed(1.0)));
    EXPECT_TRUE(FactoryRows::isWhole(*FactoryRows::accept(PropertyValue::table(factory))));
    // Another LED's factory table is still a whole table; the service tells it apart by its LED.
    const Table other = FactoryRows::encode(3, std::nullopt, FactoryRows::ledCode("b"));
    EXPECT_TRUE(FactoryRows::isWhole(*FactoryRows::accept(PropertyValue::table(other))));
}

TEST(FactoryRowsTest, RefusesWhatIsNotARowPerFactoryRowOfTwoGoodNumbers)
{
    using PV = PropertyValue;

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
        EXPECT_FALSE(FactoryRows::accept(value).has_value());
    EXPECT_TRUE(FactoryRows::accept(PV::array({PV::array({PV::integer(1), PV::integer(2)}),
                                               PV::array({PV::integer(1), PV::real(2.5)}),
                                               PV::array({PV::integer(0), PV::integer(0)}),
                                               PV::array({PV::integer(1), PV::integer(2)})})));
}
