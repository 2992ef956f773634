#pragma once

#include "platform/Ticker.h"

// A ticker driven by hand: tick() is one period passing.
class FakeTicker final : public Ticker {
public:
    void start(std::chrono::milliseconds interval) override
    {
        m_active = true;
        m_interval = interval;
        ++starts;
    }
    void stop() override { m_active = false; }
    bool isActive() const override { return m_active; }

    // Delivers one tick if started; false, and nothing, while stopped.
    bool tick()
    {
        if (!m_active)
            return false;
        emit ticked();
        return true;
    }

    // The interval of the latest start.
    std::chrono::milliseconds interval() const { return m_interval; }

    int starts = 0;

private:
    bool m_active = false;
    std::chrono::milliseconds m_interval{0};
};
