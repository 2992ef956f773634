#pragma once

#include "audio/AudioMeter.h"
#include "audio/BassDetector.h"
#include "audio/LevelHandOff.h"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class SoundCapture;
class SoundServer;

// The meter on a sound server, in the program the PulseAudio client library's (which PipeWire
// desktops serve as well): a record stream "Beamwick Listener" on the monitor of the default
// sink, read on the server's own thread "beamwick.audio", and measured in blocks of 512 frames,
// one main-thread task each.
// It follows the default output when that changes, pauses while nothing plays, and if the sound
// server goes away it says so through the interruption callback and reconnects by itself.
class SoundServerMeter final : public AudioMeter {
public:
    struct Options {
        // The server to connect to; empty for the user's own (as the client library finds it).
        std::string server;
        // How long one connection attempt may take before its current step fails.
        std::chrono::milliseconds setUpTimeout{5000};
        // The wait between reconnection attempts after the server went away.
        std::chrono::milliseconds retryInterval{2000};
        // The sound server a run talks to; left empty, the client library on `server`.
        std::function<std::shared_ptr<SoundServer>()> soundServer;
    };

    SoundServerMeter();
    explicit SoundServerMeter(Options options);
    // Stops capture: the audio thread must not outlive the object it calls into.
    ~SoundServerMeter() override;

    SoundServerMeter(const SoundServerMeter&) = delete;
    SoundServerMeter& operator=(const SoundServerMeter&) = delete;

    void setOnLevel(LevelCallback callback) override { m_handOff.setCallback(std::move(callback)); }
    void setOnInterruption(InterruptionCallback callback) override;
    void setOnActivity(ActivityCallback callback) override;
    void setOnTiming(TimingCallback callback) override;

    void start() override;
    void stop() noexcept override;
    bool isRunning() const override { return m_capture != nullptr; }

private:
    // Any thread: the report reaches the callback on the main thread unless the run it belongs
    // to has ended by then.
    void postInterruption(Generation::Ticket run, std::optional<MeterError> lost);
    void postActivity(Generation::Ticket run, bool flowing);
    void postTiming(Generation::Ticket run, OutputTiming timing);

    Options m_options;
    LevelHandOff m_handOff;
    InterruptionCallback m_onInterruption;
    ActivityCallback m_onActivity;
    TimingCallback m_onTiming;
    // Lives as long as the meter: its running average carries over from one capture to the next.
    BassDetector m_detector;
    // Main thread only; present exactly while the meter is started.
    std::unique_ptr<SoundCapture> m_capture;
};
