#pragma once

#include <chrono>

// A monotonic clock for beat timing, so that setting the wall clock cannot start or swallow a
// flash. Injectable so tests can step time by hand.
class Clock {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    using Duration = std::chrono::steady_clock::duration;

    virtual ~Clock() = default;
    virtual TimePoint now() const = 0;

    // Far enough back that "now - distantPast()" is larger than any refractory period, and near
    // enough that the subtraction cannot overflow.
    static TimePoint distantPast() { return TimePoint(std::chrono::hours(-24 * 365 * 100)); }
};

class SteadyClock final : public Clock {
public:
    TimePoint now() const override { return std::chrono::steady_clock::now(); }
};
