#pragma once

#include "platform/Clock.h"

class FakeClock final : public Clock {
public:
    TimePoint now() const override { return m_now; }
    void advance(std::chrono::duration<double> by)
    {
        // Rounded, not truncated: steps given in whole nanoseconds stay exact.
        m_now += std::chrono::round<Duration>(by);
    }

private:
    TimePoint m_now = TimePoint(std::chrono::hours(1000));
};
