#include "serviceabi/PropertyValue.h"

#include <gtest/gtest.h>

TEST(PropertyValueTest, OnlyArraysOfArraysOfNumbersAreTables)
{
    using PV = PropertyValue;
    EXPECT_EQ(PV::array({}).asTable(), PV::Table{});
    EXPECT_EQ(PV::array({PV::array({PV::integer(3), PV::real(0.5)})}).asTable(),
              (PV::Table{{3.0, 0.5}}));
    EXPECT_FALSE(PV::integer(1).asTable());
    EXPECT_FALSE(PV::array({PV::integer(1)}).asTable());
    EXPECT_FALSE(PV::array({PV::array({PV::string("1")})}).asTable());
}
