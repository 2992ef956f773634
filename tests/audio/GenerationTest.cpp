#include "audio/Generation.h"

#include <gtest/gtest.h>

// A listing's answer carries its watch's ticket: those asked before the watch began again are
// stale, and a listing the lost connection never answered leaves the next one's current.
TEST(GenerationTest, OnlyAnswersAskedForSinceTheWatchBeganAreNews)
{
    Generation watch;
    watch.begin();
    const auto first = watch.ticket();
    const auto second = watch.ticket();
    EXPECT_TRUE(watch.current(first));
    watch.begin(); // another sink, same connection: the one still out is about the last sink
    const auto third = watch.ticket();
    EXPECT_FALSE(watch.current(second));
    EXPECT_TRUE(watch.current(third));
    watch.end(); // the server goes with a listing unanswered
    const auto fourth = watch.begin();
    EXPECT_TRUE(watch.current(fourth))
        << "the lost connection's listing was counted against this one";
}
