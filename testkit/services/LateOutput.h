#pragma once

#include "testkit/services/PrivateSoundServer.h"

#include <atomic>
#include <string>
#include <thread>

// An output heard well after its monitor has it, made the default while it lives: a pipe sink
// whose pipe a reader drains at the sample rate, as a slow device (a Bluetooth headset) plays.
// About 130 ms of audio waits in the pipe, and the server counts it in the sink's latency.
// PulseAudio only: PipeWire's PulseAudio server reports no latency for such a sink.
class LateOutput {
public:
    static constexpr const char* sinkName = "late_sink";

    LateOutput(const PrivateSoundServer& server, const std::string& folder);
    // Unloads the sink, and the server's own sink is the default again.
    ~LateOutput();

    LateOutput(const LateOutput&) = delete;
    LateOutput& operator=(const LateOutput&) = delete;

    bool ready() const { return !m_module.empty(); }

private:
    void drain(const std::string& fifo);

    const PrivateSoundServer& m_server;
    std::atomic<bool> m_draining{true};
    std::thread m_reader;
    std::string m_module;
};
