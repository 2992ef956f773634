#pragma once

#include "platform/Ticker.h"

#include <chrono>
#include <memory>

// The effect engine's ticks, in one of three states: stopped; ticking; or asleep while the mode
// still runs on them, Music with nothing to play once the light has settled, which lets the
// process sleep instead of waking twenty times a second to write nothing.
class EffectTimer {
public:
    enum class State { stopped, ticking, asleep };

    static constexpr std::chrono::milliseconds interval{50};

    // The ticker is required (std::invalid_argument).
    explicit EffectTimer(std::unique_ptr<Ticker> ticker);

    // For connecting to the ticks; only the timer starts and stops the ticker.
    Ticker& ticker() { return *m_ticker; }
    State state() const { return m_state; }

    // Ticks from now on, the first one an interval from now, also when already ticking.
    void start();
    void stop();
    // No ticks until wake(); only a ticking timer falls asleep.
    void sleep();
    // Ticks again, starting a fresh interval, if asleep.
    void wake();

private:
    std::unique_ptr<Ticker> m_ticker;
    State m_state = State::stopped;
};
