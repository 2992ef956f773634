#pragma once

#include "audio/AudioMeter.h"

#include <QObject>
#include <atomic>
#include <memory>

// Carries each block's result from the audio thread to the owner's level callback on the main
// thread: one queued task per block, in block order. The callback may be replaced from the main
// thread while the audio thread posts; each task keeps the callback that was current when its
// block was measured. Tasks still queued when the hand-off is destroyed are dropped.
class LevelHandOff {
public:
    // Must be constructed on the thread whose event loop runs the callbacks.
    LevelHandOff();
    ~LevelHandOff();

    LevelHandOff(const LevelHandOff&) = delete;
    LevelHandOff& operator=(const LevelHandOff&) = delete;

    AudioMeter::LevelCallback callback() const;
    void setCallback(AudioMeter::LevelCallback callback);

    // Any thread. Widens both values to double for the callback.
    void post(float bass, float previousAverage);

    // The main-thread object that queued tasks are delivered to; tasks posted to it die with it.
    QObject* context() const { return m_context.get(); }

private:
    using SharedCallback = std::shared_ptr<const AudioMeter::LevelCallback>;

    std::unique_ptr<QObject> m_context;
    std::atomic<SharedCallback> m_callback;
};
