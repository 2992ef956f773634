#include "harness/WriteLog.h"

#include "serviceabi/ServiceContract.h"

#include <gtest/gtest.h>
#include <string>
#include <string_view>

namespace {

// One line of the log as the fake service writes it: when (ns), which key, what value.
std::string entry(const char* ns, const char* key, const char* value)
{
    return std::string(ns) + " " + key + " " + value + "\n";
}

const char* kTable = ServiceContract::tableKey;
// The last line has no newline.
const std::string kLog = entry("1000", ServiceContract::followTauKey, "0.01") +
                         entry("2000", kTable, "[[10,2],[20,8]]") + "garbage line\n" +
                         entry("3000", kTable, "[[10,100],[20,400]]") +
                         entry("x400", kTable, "[[10,100],[20,400]]") +
                         entry("5000", kTable, "[[10,abc],[20,400]]") + entry("6000", kTable, "1") +
                         entry("7000", ServiceContract::backlightModeKey, "1") +
                         entry("8000", kTable, "[[10,2.0000000000000004],[20,8]]") + "9000 " +
                         kTable + " [[10,250],[20,1000]]";

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
    EXPECT_TRUE(WriteLog::hasKey(kLog, ServiceContract::followTauKey));
    EXPECT_TRUE(WriteLog::hasKey(kLog, ServiceContract::backlightModeKey));
    std::string_view prefix = ServiceContract::followTauKey;
    prefix.remove_suffix(3);
    EXPECT_FALSE(WriteLog::hasKey(kLog, prefix));
    EXPECT_FALSE(WriteLog::hasKey("", ServiceContract::followTauKey));
}

TEST(WriteLogTest, AMissingLogReadsAsEmpty)
{
    EXPECT_TRUE(WriteLog::readTableWrites("/nonexistent/beamwick/writes.log", 100.0).empty());
}
