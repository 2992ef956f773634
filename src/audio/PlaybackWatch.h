#pragma once

#include "audio/Generation.h"
#include "audio/LoopTimer.h"
#include "audio/MonitorRecorder.h"
#include "audio/SoundServer.h"

#include <cstdint>
#include <optional>
#include <vector>

// Pauses the recorder while nothing plays on the sink it listens to, so that neither this process
// nor the sound device is kept awake for silence, and resumes it the moment something does. Lock
// held, always.
//
// A listing can call a playing stream paused for a while: PipeWire lists a stream that has just
// started as corked until its node runs, a few milliseconds later, and much later on a loaded
// machine. So the recorder pauses only once the listings have said that nothing plays, a grace
// apart, and nothing was heard over that whole grace; an arrival, or any sound, starts it anew.
class PlaybackWatch {
public:
    using Clock = SoundServer::Clock;

    PlaybackWatch(SoundServer& server, MonitorRecorder& recorder);

    // The recorder has just opened on the sink's monitor: it records, and the watch lists what
    // plays there.
    void begin(std::uint32_t sinkIndex);
    // No more listings or pauses until the next begin().
    void end() noexcept;
    // A playback stream appeared, changed or went away.
    void changed(SoundServer::Change change);

private:
    enum class State {
        // No listings or pauses.
        ended,
        // Lists what plays whenever that changes; pauses or resumes on what it finds.
        watching,
        // A listing found nothing playing: the grace runs out unless something plays or sounds.
        inGrace,
        // The grace ran out: the listing that decides whether to pause is under way.
        confirming
    };

    // Asks for a listing of the playback streams; whether it could.
    bool list(bool confirming);
    void listed(Generation::Ticket watch,
                const std::optional<std::vector<SoundServer::Player>>& players, bool confirming);
    void found(bool playing, bool confirming);
    // Arms the grace so that it ends `grace` after the later of its start and the last sound.
    void armGrace();

    SoundServer& m_server;
    MonitorRecorder& m_recorder;
    std::uint32_t m_sinkIndex = 0;
    State m_state = State::ended;
    // A listing asked for before the watch last began is about another sink, or another
    // connection; one asked for since it ended is of no use.
    Generation m_watch;
    // Armed exactly while in grace.
    LoopTimer m_grace;
    Clock::time_point m_graceFrom;
};
