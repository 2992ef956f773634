#pragma once

#include <QString>
#include <chrono>

// Asks the sound server (PulseAudio, or PipeWire through pipewire-pulse) whether it answers and
// which output is its default: the sink whose monitor Music mode listens to.
class SoundServerProbe {
public:
    struct Result {
        bool answers = false;
        QString server;        // name and version, when it answers
        QString defaultOutput; // the default sink's name; empty when it has none
        QString error;         // why it does not answer
        // The default sink's latency as the server reports it (0 while it is idle).
        std::chrono::microseconds outputLatency{0};
    };

    // Bounded by `timeout` as a whole, so a hung server cannot hold the caller.
    static Result ask(std::chrono::milliseconds timeout);
};
