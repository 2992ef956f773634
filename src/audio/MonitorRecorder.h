#pragma once

#include "audio/BassDetector.h"
#include "audio/BlockAssembler.h"
#include "audio/LoopTimer.h"
#include "audio/MeterError.h"
#include "audio/SoundServer.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

// The record stream "Beamwick Listener" on one sink's monitor, and what becomes of its audio: the
// server's chunks gathered into blocks of 512 frames, each measured by the detector and handed on.
// It can be paused (corked) while nothing plays, and reopened on another sink's monitor when the
// output changes. Lock held, always: its callbacks run on the loop's thread.
class MonitorRecorder {
public:
    using Clock = SoundServer::Clock;

    struct Handlers {
        // The stream records.
        std::function<void()> ready;
        // The stream failed or the server ended it; and whether the connection is lost with it.
        std::function<void(const SoundServer::Failure& failure, bool connectionLost)> ended;
        // One measured block.
        std::function<void(const BassDetector::Level& level)> measured;
        // Levels stop (false) or are about to flow again (true).
        std::function<void(bool flowing)> activity;
        // The server brought the stream's timing up to date; the stream's latency counts from
        // the middle of a block.
        std::function<void(const SoundServer::Timing& timing)> timed;
    };

    // The detector outlives the recorder: its running average is kept across captures.
    MonitorRecorder(SoundServer& server, BassDetector& detector, Handlers handlers);

    // Opens the stream on the sink's monitor, in the sink's own format. A fresh capture designs
    // the filter anew; one that moves on from another sink keeps the filter's history when the
    // rate stays the same.
    struct Refused {
        MeterError::Step step;
        SoundServer::Failure failure;
    };
    std::optional<Refused> open(const SoundServer::Sink& sink, bool fresh);
    // Drops the stream. Keeps whether capture is paused, and the block begun.
    void close() noexcept
    {
        m_retime.cancel();
        m_server.closeStream();
        m_open = false;
    }
    bool isOpen() const { return m_open; }
    std::uint32_t sinkIndex() const { return m_sinkIndex; }

    // The stream is gone and none records yet (the capture waits for an output): drops it and,
    // like a pause, reports levels stopping.
    void waitWithoutStream();
    // Corks or uncorks; a pause reports levels stopping and is later accounted for as silence.
    void setPaused(bool paused);
    bool paused() const { return m_paused; }
    // When a block with any sound in it (any bass at all) was last measured.
    Clock::time_point lastSound() const { return m_lastSound; }

private:
    // How often the stream's timing is asked for while it records: the output's latency changes
    // seldom, and then mostly by a little.
    static constexpr std::chrono::seconds retimeInterval{2};

    // Asks for the stream's timing now and, while it records, again a while later.
    void askTiming();
    void timed(SoundServer::Timing timing);
    void readChunks();
    void measure(const AudioBuffer& block);

    SoundServer& m_server;
    BassDetector& m_detector;
    Handlers m_handlers;
    BlockAssembler m_assembler;
    std::uint32_t m_channels = 0;
    float m_rate = 0;
    std::uint32_t m_sinkIndex = 0;
    // Whether the server holds a stream of ours. Only the recorder opens and closes it, and it
    // closes it before the capture drops the connection, which would take the stream along.
    bool m_open = false;
    bool m_paused = false;
    // Where the pause's unmeasured silence begins: at the cork request, after the silence that
    // completed the last block. Nothing while waiting for an output: no output played then.
    std::optional<Clock::time_point> m_pausedAt;
    Clock::time_point m_lastSound;
    LoopTimer m_retime;
};
