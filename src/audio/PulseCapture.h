#pragma once

#include "audio/DefaultSinkLookup.h"
#include "audio/LoopTimer.h"
#include "audio/MeterError.h"
#include "audio/OutputWatch.h"
#include "audio/PlaybackWatch.h"
#include "audio/PulseConnection.h"
#include "audio/PulseRecorder.h"

#include <cstdint>
#include <optional>
#include <string>

class PulseAudioMeter;

// One run of the meter, from start() to stop(): connects, finds the default output, records its
// monitor, follows the default when it changes, and reconnects when the server goes away. Its
// own parts each do one of those things; this joins them. Everything but open() and close() runs
// on the audio thread with the loop's lock held.
class PulseCapture {
public:
    PulseCapture(PulseAudioMeter& meter, std::uint64_t generation);
    ~PulseCapture() { close(); }

    PulseCapture(const PulseCapture&) = delete;
    PulseCapture& operator=(const PulseCapture&) = delete;

    // Main thread: connects and waits (bounded) until audio flows or a step fails, and then
    // returns that step's error; the caller then closes.
    std::optional<MeterError> open();
    // Main thread: ends the capture and joins the audio thread; harmless when done before.
    void close() noexcept;

private:
    enum class Phase {
        idle,
        connecting,
        lookingUp,
        startingStream,
        streaming,
        // Moving to another output, there was none to move to: waiting for the server to name one.
        awaitingOutput,
        failed
    };

    void beginAttempt();
    void lookUp();
    void openRecorder(const pa_sink_info& sink, const std::string& name);
    // A step of finding or opening the output failed.
    void outputFailed(const char* step, int status);
    void recorderReady();
    void recorderEnded(int status);
    // The output heard is no longer the default: move to the default's monitor.
    void follow();
    void eventArrived(pa_subscription_event_type_t event, std::uint32_t index);
    void fail(const char* step, int status);
    void connectionLost(int status);
    void tearDown() noexcept;
    void armDeadline();
    const char* currentStep() const;

    PulseAudioMeter& m_meter;
    const std::uint64_t m_generation;
    // First: the other parts use its loop, and it outlives them.
    PulseConnection m_connection;
    DefaultSinkLookup m_lookup;
    PulseRecorder m_recorder;
    PlaybackWatch m_playback;
    OutputWatch m_output;
    // Fails the step under way when an attempt takes too long.
    LoopTimer m_deadline;
    // Connects afresh a while after the server went away.
    LoopTimer m_retry;
    Phase m_phase = Phase::idle;
    // Set once open() has succeeded: from then on a failure means reconnecting, not throwing.
    bool m_established = false;
    // The loss has been reported and the recovery not yet.
    bool m_lost = false;
    // Moving to another output rather than starting: the filter keeps its history.
    bool m_following = false;
    bool m_closed = false;
    // The sink whose monitor is being opened or recorded.
    std::string m_sinkName;
    std::optional<MeterError> m_failure;
};
