#pragma once

#include "audio/AudioMeter.h"

#include <functional>
#include <optional>

// A meter that never listens: tests deliver levels themselves through deliver().
class FakeAudioMeter final : public AudioMeter {
public:
    // What the owner installed (not part of the meter's interface).
    const LevelCallback& levelCallback() const { return m_onLevel; }
    void setOnLevel(LevelCallback callback) override { m_onLevel = std::move(callback); }
    void setOnInterruption(InterruptionCallback callback) override
    {
        m_onInterruption = std::move(callback);
    }
    void setOnActivity(ActivityCallback callback) override { m_onActivity = std::move(callback); }
    void setOnTiming(TimingCallback callback) override { m_onTiming = std::move(callback); }
    void start() override
    {
        ++starts;
        if (failure)
            throw *failure;
        m_running = true;
    }
    void stop() noexcept override
    {
        ++stops;
        if (onStop)
            onStop();
        m_running = false;
    }
    bool isRunning() const override { return m_running; }

    void deliver(double bass, double average)
    {
        if (m_onLevel)
            m_onLevel(bass, average);
    }
    void interrupt(const std::optional<MeterError>& lost)
    {
        if (m_onInterruption)
            m_onInterruption(lost);
    }

    void setFlowing(bool flowing)
    {
        if (m_onActivity)
            m_onActivity(flowing);
    }

    void report(const OutputTiming& timing)
    {
        if (m_onTiming)
            m_onTiming(timing);
    }

    std::optional<MeterError> failure;
    std::function<void()> onStop;
    int starts = 0;
    int stops = 0;

private:
    LevelCallback m_onLevel;
    InterruptionCallback m_onInterruption;
    ActivityCallback m_onActivity;
    TimingCallback m_onTiming;
    bool m_running = false;
};
