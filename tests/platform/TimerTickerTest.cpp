#include "platform/TimerTicker.h"

#include "testkit/support/EventLoop.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

TEST(TimerTickerTest, TicksOnTheEventLoopUntilStopped)
{
    TimerTicker ticker;
    int ticks = 0;
    QObject::connect(&ticker, &Ticker::ticked, [&] { ++ticks; });
    EXPECT_FALSE(ticker.isActive());
    spinUntil([] { return false; }, 30ms);
    EXPECT_EQ(ticks, 0) << "no tick before a start";

    ticker.start(5ms);
    EXPECT_TRUE(ticker.isActive());
    ASSERT_TRUE(spinUntil([&] { return ticks >= 3; }, 5s));

    ticker.stop();
    EXPECT_FALSE(ticker.isActive());
    const int stoppedAt = ticks;
    spinUntil([] { return false; }, 30ms);
    EXPECT_EQ(ticks, stoppedAt) << "no tick after a stop";

    ticker.start(5ms);
    EXPECT_TRUE(spinUntil([&] { return ticks > stoppedAt; }, 5s))
        << "a stopped ticker starts again";
}
