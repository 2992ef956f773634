#pragma once

#include "audio/MeterError.h"

#include <functional>
#include <optional>

// Listens to what the computer plays and reports one bass level per block of audio.
class AudioMeter {
public:
    // (bass, average): the block's bass level and the running average as it stood before that
    // block, both linear full-scale RMS. Always called on the main thread, in block order.
    using LevelCallback = std::function<void(double bass, double average)>;
    // Called on the main thread while started: with the error when capture was lost (the sound
    // server went away), with nothing when it has been re-established.
    using InterruptionCallback = std::function<void(const std::optional<MeterError>& lost)>;
    // Called on the main thread while started: with false when capture pauses because nothing
    // plays on the output (no levels come then), with true just before levels flow again.
    using ActivityCallback = std::function<void(bool flowing)>;

    virtual ~AudioMeter() = default;

    // Replaces any earlier callback; safe while capturing.
    virtual void setOnLevel(LevelCallback callback) = 0;
    virtual void setOnInterruption(InterruptionCallback callback) = 0;
    virtual void setOnActivity(ActivityCallback callback) = 0;

    // Begins listening; does nothing when already listening. On failure undoes what it set up
    // and throws MeterError. Main thread only.
    virtual void start() = 0;
    // Ends listening; harmless at any time, any number of times. Main thread only.
    virtual void stop() noexcept = 0;
    virtual bool isRunning() const = 0;
};
