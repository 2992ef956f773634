#include "harness/WriteLog.h"

#include <gtest/gtest.h>

namespace {

const char* kLog = "1000 LEPWMFollowTau 0.01\n"
                   "2000 LEPWMBrightnessNitsMapping [[10,2],[20,8]]\n"
                   "garbage line\n"
                   "3000 LEPWMBrightnessNitsMapping [[10,100],[20,400]]\n"
                   "x400 LEPWMBrightnessNitsMapping [[10,100],[20,400]]\n"
                   "5000 LEPWMBrightnessNitsMapping [[10,abc],[20,400]]\n"
                   "6000 LEPWMBrightnessNitsMapping 1\n"
                   "7000 LEBacklightMode 1\n"
                   "8000 LEPWMBrightnessNitsMapping [[10,2.0000000000000004],[20,8]]\n"
                   "9000 LEPWMBrightnessNitsMapping [[10,250],[20,1000]]";

} // namespace

TEST(WriteLogTest, TableWritesBecomeLevelsAndEverythingElseIsSkipped)
{
    const auto writes = WriteLog::tableWrites(kLog, 100.0);

    ASSERT_EQ(writes.size(), 4u);
    EXPECT_EQ(writes[0].ns, 2000);
    EXPECT_DOUBLE_EQ(writes[0].level, 0.02);
    EXPECT_EQ(writes[1].ns, 3000);
    EXPECT_DOUBLE_EQ(writes[1].level, 1.0);
    EXPECT_EQ(writes[2].ns, 8000);
    EXPECT_EQ(writes[3].ns, 9000); // the last line has no newline
    EXPECT_DOUBLE_EQ(writes[3].level, 2.5);
    EXPECT_TRUE(WriteLog::tableWrites(kLog, 0.0).empty());
}

TEST(WriteLogTest, FlashesAreWritesAboveTheFloorWithinTheWindow)
{
    const auto writes = WriteLog::tableWrites(kLog, 100.0);

    // The floor written with rounding noise is still the floor, not a flash.
    EXPECT_EQ(WriteLog::flashes(writes, 0.02, 0, 100000), (std::vector<std::int64_t>{3000, 9000}));
    EXPECT_EQ(WriteLog::flashes(writes, 0.02, 3001, 9000), std::vector<std::int64_t>{});
    EXPECT_EQ(WriteLog::flashes(writes, 0.02, 3000, 9001), (std::vector<std::int64_t>{3000, 9000}));
}

TEST(WriteLogTest, KeysAreMatchedWhole)
{
    EXPECT_TRUE(WriteLog::hasKey(kLog, "LEPWMFollowTau"));
    EXPECT_TRUE(WriteLog::hasKey(kLog, "LEBacklightMode"));
    EXPECT_FALSE(WriteLog::hasKey(kLog, "LEPWMFollow"));
    EXPECT_FALSE(WriteLog::hasKey("", "LEPWMFollowTau"));
}

TEST(WriteLogTest, AMissingLogReadsAsEmpty)
{
    EXPECT_TRUE(WriteLog::readTableWrites("/nonexistent/beamwick/writes.log", 100.0).empty());
}
