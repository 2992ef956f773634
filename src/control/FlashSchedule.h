#pragma once

#include "platform/Clock.h"
#include "platform/Ticker.h"

#include <deque>
#include <memory>
#include <optional>

// Music's flashes that wait for their beat to be heard: a beat reaches the capture before the
// output plays it, so its flash is due later. One timer serves them all, armed afresh at each
// beat for the earliest flash due; nothing ticks while none waits.
class FlashSchedule {
public:
    // The ticker is required (std::invalid_argument). Its first tick after a start is the
    // alarm; the schedule stops or re-arms it then.
    explicit FlashSchedule(std::unique_ptr<Ticker> ticker);

    // For connecting to the alarm.
    Ticker& ticker() { return *m_ticker; }
    bool waiting() const { return !m_due.empty(); }

    // A flash due at that moment, later than now. Beats come in order, and so do their flashes.
    void add(Clock::TimePoint due, Clock::TimePoint now);
    // The alarm rang: the moment of the latest flash now due, if any, and the alarm armed for the
    // next. A timer that rings early shows nothing before its time.
    std::optional<Clock::TimePoint> ring(Clock::TimePoint now);
    // Forgets every flash still waiting.
    void clear();

private:
    void arm(Clock::TimePoint now);

    std::unique_ptr<Ticker> m_ticker;
    std::deque<Clock::TimePoint> m_due;
};
