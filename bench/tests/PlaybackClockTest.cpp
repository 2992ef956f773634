#include "harness/PlaybackClock.h"

#include <gtest/gtest.h>

TEST(PlaybackClockTest, SteppingBackFromTheFirstReadingPastThePosition)
{
    PlaybackClock clock;
    // The stream is at 0 µs at 5 s monotonic and runs in real time.
    for (int ms = 0; ms <= 100; ms += 2)
        clock.note(5'000'000'000 + ms * 1'000'000LL, ms * 1000LL);

    EXPECT_EQ(clock.playedAt(0), 5'000'000'000);
    EXPECT_EQ(clock.playedAt(41'000), 5'041'000'000);
    EXPECT_EQ(clock.playedAt(41'500), 5'041'500'000);
    EXPECT_EQ(clock.playedAt(100'000), 5'100'000'000);
}

TEST(PlaybackClockTest, AnUnderrunDelaysWhatIsPlayedAfterIt)
{
    PlaybackClock clock;
    clock.note(0, 0);
    clock.note(1'000'000, 1000);
    // The stream stalls at 1 ms for 9 ms, then moves on.
    clock.note(5'000'000, 1000);
    clock.note(10'000'000, 1000);
    clock.note(11'000'000, 2000);

    EXPECT_EQ(clock.playedAt(1500), 10'500'000);
    EXPECT_EQ(clock.playedAt(1000), 1'000'000);
}

TEST(PlaybackClockTest, PositionsNotYetReachedOrTooFarFromAnyReadingAreUnknown)
{
    PlaybackClock clock;
    EXPECT_FALSE(clock.playedAt(0));
    clock.note(0, 0);
    clock.note(100'000'000, 100'000);

    EXPECT_FALSE(clock.playedAt(100'001));
    // The nearest reading lies 60 ms beyond: too coarse to trust.
    EXPECT_FALSE(clock.playedAt(40'000));
    EXPECT_EQ(clock.playedAt(40'000, 60'000), 40'000'000);
}

TEST(PlaybackClockTest, AReadingThatStepsBackIsIgnored)
{
    PlaybackClock clock;
    clock.note(0, 0);
    clock.note(10'000'000, 10'000);
    clock.note(11'000'000, 9'000); // fresh timing data corrected the estimate downwards
    clock.note(12'000'000, 12'000);

    EXPECT_EQ(clock.size(), 3u);
    EXPECT_EQ(clock.playedAt(10'000), 10'000'000);
    EXPECT_EQ(clock.playedAt(11'000), 11'000'000);
}
