#pragma once

#include "audio/BassDetector.h"
#include "audio/DefaultSinkLookup.h"
#include "audio/LoopTimer.h"
#include "audio/MeterError.h"
#include "audio/MonitorRecorder.h"
#include "audio/OutputWatch.h"
#include "audio/PlaybackWatch.h"
#include "audio/SoundServer.h"
#include "audio/TimingReport.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

// One run of the meter, from start() to stop(): connects, finds the default output, records its
// monitor, follows the default when it changes, and reconnects when the server goes away. Its
// own parts each do one of those things; this joins them. Everything but open() and close() runs
// on the audio thread with the loop's lock held.
class SoundCapture {
public:
    // What a run needs of its meter. The reports are made on the audio thread.
    struct Needs {
        std::chrono::milliseconds setUpTimeout;
        std::chrono::milliseconds retryInterval;
        // Outlives the run: its running average carries over from one run to the next.
        BassDetector& detector;
        std::function<void(const BassDetector::Level& level)> measured;
        // With the error when the capture was lost, with nothing when it is back.
        std::function<void(std::optional<MeterError> lost)> interrupted;
        // Levels stop (false) or are about to flow again (true).
        std::function<void(bool flowing)> activity;
        // The output heard, or how far it runs ahead of the ear, changed.
        std::function<void(const AudioMeter::OutputTiming& timing)> timed;
    };

    // The server's thread is the audio thread; the run connects and disconnects it.
    SoundCapture(Needs needs, std::shared_ptr<SoundServer> server);
    ~SoundCapture() { close(); }

    SoundCapture(const SoundCapture&) = delete;
    SoundCapture& operator=(const SoundCapture&) = delete;

    // Main thread: connects and waits until the first stream records or a step fails, within the
    // set-up timeout whatever the capture goes through meanwhile, and then returns that step's
    // error; the caller then closes.
    std::optional<MeterError> open();
    // Main thread: ends the capture; harmless when done before. The audio thread ends with the
    // server, which the capture holds to the last.
    void close() noexcept;

private:
    enum class State {
        // The first attempt, for open(): a failure is thrown.
        starting,
        // The first attempt failed; open() returns the failure.
        failed,
        // Records the monitor of the output heard.
        streaming,
        // The output heard is no longer the one to hear: finding and opening the default's.
        moving,
        // Moving found no output to move to: waiting for the server to name one.
        awaitingOutput,
        // The server went away (the loss reported): waiting a while before connecting afresh.
        lost,
        // Connecting afresh after a loss: the next stream that records ends it.
        reconnecting,
        closed
    };

    void beginAttempt();
    void lookUp();
    void openRecorder(const SoundServer::Sink& sink, const std::string& name);
    // A step of finding or opening the output failed.
    void outputFailed(MeterError::Step step, const SoundServer::Failure& failure);
    // No output to record for now: waits for the server to name or add one.
    void awaitOutput();
    void recorderReady();
    void recorderEnded(const SoundServer::Failure& failure, bool connectionLost);
    // The output heard is no longer the default: move to the default's monitor.
    void follow();
    void eventArrived(SoundServer::Change change, std::uint32_t index);
    void fail(MeterError::Step step, const SoundServer::Failure& failure);
    void tearDown() noexcept;
    void armDeadline();
    MeterError::Step currentStep() const;

    Needs m_needs;
    // First: the other parts use it, and it outlives them.
    std::shared_ptr<SoundServer> m_server;
    DefaultSinkLookup m_lookup;
    MonitorRecorder m_recorder;
    PlaybackWatch m_playback;
    OutputWatch m_output;
    // Fails the step under way when an attempt takes too long.
    LoopTimer m_deadline;
    // Connects afresh a while after the server went away.
    LoopTimer m_retry;
    State m_state = State::starting;
    // The sink whose monitor is being opened or recorded.
    std::string m_sinkName;
    std::optional<MeterError> m_failure;
    TimingReport m_timing;
};
