#pragma once

#include "audio/AudioMeter.h"

#include <functional>
#include <memory>

// A real meter as its owner has it, with a look at each start and at each level right after the
// owner has had it: enough for a test to tell which run a level belongs to, or what it led to.
class ForwardingMeter final : public AudioMeter {
public:
    explicit ForwardingMeter(std::unique_ptr<AudioMeter> inner) : m_inner(std::move(inner)) {}

    void setOnLevel(LevelCallback callback) override
    {
        m_inner->setOnLevel([this, callback = std::move(callback)](double bass, double average) {
            if (callback)
                callback(bass, average);
            if (afterLevel)
                afterLevel();
        });
    }
    void setOnInterruption(InterruptionCallback callback) override
    {
        m_inner->setOnInterruption(std::move(callback));
    }
    void setOnActivity(ActivityCallback callback) override
    {
        m_inner->setOnActivity(std::move(callback));
    }
    void setOnTiming(TimingCallback callback) override
    {
        m_inner->setOnTiming(std::move(callback));
    }
    void start() override
    {
        if (starting)
            starting();
        m_inner->start();
    }
    void stop() noexcept override { m_inner->stop(); }
    bool isRunning() const override { return m_inner->isRunning(); }

    // On the main thread.
    std::function<void()> starting;
    std::function<void()> afterLevel;

private:
    std::unique_ptr<AudioMeter> m_inner;
};
