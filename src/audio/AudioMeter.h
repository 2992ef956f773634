#pragma once

#include "audio/MeterError.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>

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

    // How far the output heard runs ahead of the ear, as its sound server tells: a sample is
    // heard outputLatency after it reaches the output's monitor, and the levels just measured
    // reached the monitor streamLatency ago. Both 0 where the server says nothing.
    struct OutputTiming {
        // The output's name in the server's terms; empty before the first report.
        std::string output;
        std::chrono::microseconds outputLatency{0};
        std::chrono::microseconds streamLatency{0};

        // How long after its measurement a level is heard; 0 or less means at once.
        std::chrono::microseconds lead() const { return outputLatency - streamLatency; }
        bool operator==(const OutputTiming&) const = default;
    };
    // Called on the main thread while started, when the output heard or its timing changes.
    using TimingCallback = std::function<void(const OutputTiming& timing)>;

    virtual ~AudioMeter() = default;

    // Replaces any earlier callback; safe while capturing.
    virtual void setOnLevel(LevelCallback callback) = 0;
    virtual void setOnInterruption(InterruptionCallback callback) = 0;
    virtual void setOnActivity(ActivityCallback callback) = 0;
    virtual void setOnTiming(TimingCallback callback) = 0;

    // Begins listening; does nothing when already listening. On failure undoes what it set up
    // and throws MeterError. Main thread only.
    virtual void start() = 0;
    // Ends listening; harmless at any time, any number of times. Main thread only.
    virtual void stop() noexcept = 0;
    virtual bool isRunning() const = 0;
};
