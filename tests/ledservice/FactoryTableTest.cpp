#include "ledservice/FactoryTable.h"

#include "serviceabi/ServiceContract.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <vector>

TEST(FactoryTableTest, CarriesTheBrightnessFoundInEveryRowAndTellsEarlierTablesApart)
{
    const auto code = FactoryTable::triggerCode("kbd-backlight");
    EXPECT_NE(code, FactoryTable::triggerCode("none"));
    const FactoryTable found(200, code);
    EXPECT_EQ(
        found.rows(),
        (FactoryTable::Table{
            {200, 25, 1, code}, {200, 50, 2, code}, {200, 75, 3, code}, {200, 100, 4, code}}));
    EXPECT_EQ(FactoryTable::foundBrightnessOf(found.rows()), 200u);
    EXPECT_EQ(FactoryTable::triggerCodeOf(found.rows()), code);
    EXPECT_EQ(FactoryTable::foundBrightnessOf({{199.6, 5}, {199.6, 10}, {199.6, 1}, {199.6, 0}}),
              200u);
    EXPECT_EQ(FactoryTable(0).rows().front(), (std::vector<double>{0, 25, 1}));
    EXPECT_FALSE(FactoryTable::triggerCodeOf(FactoryTable(0).rows()));
    // Dimmed copies keep the brightness but not the trigger.
    EXPECT_EQ(FactoryTable::foundBrightnessOf({{200, 5}, {200, 10}, {200, 15}, {200, 20}}), 200u);
    EXPECT_FALSE(FactoryTable::triggerCodeOf({{200, 5}, {200, 10}, {200, 15}, {200, 20}}));

    // What earlier versions saved: [round(k/4 * max_brightness), 25 k, k]. Whatever the range,
    // the first numbers differ from row to row, so such a table carries no brightness.
    for (unsigned max : {1u, 2u, 3u, 100u, 255u, 65535u}) {
        FactoryTable::Table earlier;
        for (int k = 1; k <= 4; ++k)
            earlier.push_back({std::floor(k / 4.0 * max + 0.5), 25.0 * k, double(k)});
        EXPECT_FALSE(FactoryTable::foundBrightnessOf(earlier)) << max;
        EXPECT_TRUE(FactoryTable::isWholeFactoryTable(earlier)) << max;
        EXPECT_FALSE(FactoryTable::triggerCodeOf(earlier)) << max;
    }
}

TEST(FactoryTableTest, ReadsTheLevelOfScaledCopiesAndTellsTheRestoreApart)
{
    const FactoryTable factory(255);
    const auto scaled = [&](double level) {
        FactoryTable::Table rows;
        for (const auto& row : factory.rows())
            rows.push_back({row[0], row[1] * level});
        return *factory.accept(PropertyValue::table(rows));
    };
    for (double level : {0.02, 0.5, 1.0, ServiceContract::topLevel})
        EXPECT_NEAR(factory.levelOf(scaled(level)), level, 1e-12);

    EXPECT_FALSE(factory.isWholeFactoryTable(scaled(1.0)));
    EXPECT_TRUE(factory.isWholeFactoryTable(*factory.accept(PropertyValue::table(factory.rows()))));
    // Another LED's factory table differs only in pwm: still a restore.
    EXPECT_TRUE(
        factory.isWholeFactoryTable(*factory.accept(PropertyValue::table(FactoryTable(3).rows()))));
}

TEST(FactoryTableTest, RefusesWhatIsNotARowPerFactoryRowOfTwoGoodNumbers)
{
    using PV = PropertyValue;
    const FactoryTable factory(255);
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
