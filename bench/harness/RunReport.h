#pragma once

#include "LatencyMatch.h"
#include "MicroBenchmarks.h"
#include "ProcStats.h"
#include "ResultTable.h"

#include <optional>
#include <string>
#include <vector>

// Everything one benchmark run measured, turned into the table and into docs/performance.md.
struct RunReport {
    struct ModeCost {
        std::optional<ProcCost> cost;
    };
    struct Machine {
        unsigned cores = 0;
        std::string cpuModel;
        std::string kernel;
        std::string loadBefore;
        std::string loadAfter;
    };

    // What Music costs and how fast it reacts on one sound server.
    struct MusicFigures {
        // Beside a player with a 200 ms buffer, as music players keep.
        std::optional<LatencyMatch::Summary> latency;
        ModeCost music;
        // The same beside a player with a 20 ms buffer, which makes the server mix four times
        // as often.
        std::optional<LatencyMatch::Summary> latencyLowLatency;
        ModeCost musicLowLatency;
        // Nothing playing, once the capture has had time to cork.
        ModeCost nothingPlaying;
        std::optional<ProcCost> sideBySideBeamwick;
        std::optional<ProcCost> sideBySidePeer;
        // bench/FloorClient.cpp, capturing at the same time: the detector and the beat rule on
        // one libpulse thread, and nothing else.
        std::optional<ProcCost> sideBySideFloor;
    };

    // Resident memory after a warm-up of mode changes and after many more: what grows with use.
    struct Soak {
        int warmUp = 0;
        int changes = 0;
        long long warmUpKb = 0;
        long long afterKb = 0;
    };

    double windowSeconds = 0.0;
    // How long after its start each run of Beamwick is measured from.
    double startUpSeconds = 5.5;
    Machine machine;
    ModeCost steady;
    ModeCost breathe;
    MusicFigures pulse;
    // Absent when the run did not try PipeWire; its side by side is optional.
    std::optional<MusicFigures> pipewire;
    // PulseAudio: an output heard about 130 ms after its monitor (testkit's LateOutput), without
    // and with the user's light delay for it.
    static constexpr double lightDelayMs = 100.0;
    std::optional<LatencyMatch::Summary> lateOutput;
    std::optional<LatencyMatch::Summary> lateOutputDelayed;
    std::optional<ProcCost> serverPlaybackOnly;
    std::optional<ProcCost> serverWithBeamwick;
    std::vector<MicroBenchmarks::Entry> micro;
    // Over the session bus to the running Beamwick, and by clicks in a panel.
    std::optional<Soak> remoteSoak;
    std::optional<Soak> panelSoak;

    ResultTable table() const;
    // The whole Markdown document: how it was made, the machine, the table, the missed targets.
    std::string document(const std::string& command) const;

    static Machine describeMachine(const std::string& procRoot = "/proc");
    // The "model name" of the first processor in /proc/cpuinfo's text.
    static std::string cpuModel(const std::string& cpuinfo);
};
