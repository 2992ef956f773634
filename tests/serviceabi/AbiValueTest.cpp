#include "serviceabi/AbiValue.h"

#include <gtest/gtest.h>

TEST(AbiValueTest, RoundTripsEveryShape)
{
    using PV = PropertyValue;
    const PV value = PV::array({PV::integer(-7), PV::real(0.25), PV::string("x"),
                                PV::array({PV::array({}), PV::table({{1, 2, 3}})})});
    AbiValue abi(value);
    EXPECT_EQ(fromAbiValue(abi.get()), value);
}

TEST(AbiValueTest, RefusesMalformedTrees)
{
    EXPECT_FALSE(fromAbiValue(nullptr));
    bw_value unknown{99, 0, 0, nullptr, 0, nullptr};
    EXPECT_FALSE(fromAbiValue(&unknown));
    bw_value nullString{BW_VALUE_STRING, 0, 0, nullptr, 0, nullptr};
    EXPECT_FALSE(fromAbiValue(&nullString));
    bw_value nullItems{BW_VALUE_ARRAY, 0, 0, nullptr, 3, nullptr};
    EXPECT_FALSE(fromAbiValue(&nullItems));

    // Nesting deeper than any property needs is refused rather than recursed into.
    std::vector<bw_value> chain(kMaxAbiValueDepth + 2);
    for (std::size_t i = 0; i + 1 < chain.size(); ++i)
        chain[i] = bw_value{BW_VALUE_ARRAY, 0, 0, nullptr, 1, &chain[i + 1]};
    chain.back() = bw_value{BW_VALUE_INTEGER, 1, 0, nullptr, 0, nullptr};
    EXPECT_FALSE(fromAbiValue(&chain[0]));
}
