#include "harness/LatencyMatch.h"

#include <gtest/gtest.h>

namespace {

constexpr std::int64_t ms = 1'000'000;

} // namespace

TEST(LatencyMatchTest, EachKickTakesTheFirstFlashAfterIt)
{
    const auto summary =
        LatencyMatch::match({0, 500 * ms, 1000 * ms}, {10 * ms, 512 * ms, 1005 * ms, 1090 * ms});

    EXPECT_EQ(summary.onsets, 3u);
    EXPECT_EQ(summary.missed, 0u);
    EXPECT_EQ(summary.extra, 1u); // the second flash after the last kick
    EXPECT_EQ(summary.delaysMs, (std::vector<double>{5.0, 10.0, 12.0}));
    EXPECT_EQ(summary.medianMs(), 10.0);
    EXPECT_EQ(summary.maxMs(), 12.0);
}

TEST(LatencyMatchTest, AFlashTooLateOrBelongingToTheNextKickCountsAsAMiss)
{
    // Kick 2 (500 ms) gets nothing in time: 760 ms is past its 250 ms window, and 995 ms is
    // within 20 ms of the third kick, so it is the third kick's (early) flash.
    const auto summary =
        LatencyMatch::match({0, 500 * ms, 1000 * ms}, {8 * ms, 760 * ms, 995 * ms});

    EXPECT_EQ(summary.missed, 1u);
    EXPECT_EQ(summary.extra, 1u);
    EXPECT_EQ(summary.delaysMs, (std::vector<double>{-5.0, 8.0}));
}

TEST(LatencyMatchTest, AFlashIsNeverCreditedToTwoKicks)
{
    const auto summary = LatencyMatch::match({0, 100 * ms}, {50 * ms});

    EXPECT_EQ(summary.delaysMs, (std::vector<double>{50.0}));
    EXPECT_EQ(summary.missed, 1u);
    EXPECT_EQ(summary.extra, 0u);
}

TEST(LatencyMatchTest, FlashesLongBeforeTheFirstKickAreNotCounted)
{
    const auto summary = LatencyMatch::match({1000 * ms}, {100 * ms, 970 * ms, 1004 * ms});

    EXPECT_EQ(summary.delaysMs, (std::vector<double>{4.0}));
    EXPECT_EQ(summary.extra, 0u); // 970 ms is 30 ms early: outside the run's span
}

TEST(LatencyMatchTest, NoKicksOrNoFlashes)
{
    EXPECT_EQ(LatencyMatch::match({}, {5 * ms}).extra, 0u);
    const auto none = LatencyMatch::match({0, 500 * ms}, {});
    EXPECT_EQ(none.missed, 2u);
    EXPECT_FALSE(none.medianMs());
    EXPECT_FALSE(none.p95Ms());
    EXPECT_FALSE(none.maxMs());
}

TEST(LatencyMatchTest, PercentilesAreNearestRankAndTheMedianOfAnEvenCountIsAMean)
{
    std::vector<double> hundred;
    for (int i = 1; i <= 100; ++i)
        hundred.push_back(i);
    EXPECT_EQ(LatencyMatch::percentile(hundred, 95), 95.0);
    EXPECT_EQ(LatencyMatch::percentile(
                  {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20}, 95),
              19.0);
    EXPECT_EQ(LatencyMatch::percentile({7}, 95), 7.0);
    EXPECT_EQ(LatencyMatch::percentile({1, 2, 3}, 100), 3.0);
    EXPECT_FALSE(LatencyMatch::percentile({}, 95));
    EXPECT_FALSE(LatencyMatch::percentile({1}, 0));

    LatencyMatch::Summary even;
    even.delaysMs = {2, 4, 6, 10};
    EXPECT_EQ(even.medianMs(), 5.0);
}
