#include "audio/PlaybackWatch.h"

#include <algorithm>

namespace {

// Listening to this much silence after a track ends costs little; pausing while a track starts
// would drop its first beats.
constexpr std::chrono::milliseconds kGrace{500};

} // namespace

PlaybackWatch::PlaybackWatch(SoundServer& server, MonitorRecorder& recorder)
    : m_server(server), m_recorder(recorder), m_grace(server)
{}

void PlaybackWatch::begin(std::uint32_t sinkIndex)
{
    m_watch.begin();
    m_sinkIndex = sinkIndex;
    m_state = State::watching;
    m_grace.cancel();
    // A fresh stream records from the start; the main thread hears so if it was told of a
    // pause, and the listing corks it again if nothing plays.
    m_recorder.setPaused(false);
    list(false);
}

void PlaybackWatch::end() noexcept
{
    m_state = State::ended;
    m_watch.end();
    m_grace.cancel();
}

void PlaybackWatch::changed(SoundServer::Change change)
{
    if (m_state == State::ended)
        return;
    if (change == SoundServer::Change::playerAdded) {
        // A new stream is about to play: listen at once rather than after a round trip, or its
        // first beat could be mixed before the cork is lifted. A grace under way starts anew.
        m_recorder.setPaused(false);
        if (m_state == State::inGrace || m_state == State::confirming)
            m_graceFrom = m_server.now();
        if (m_state == State::inGrace)
            armGrace();
    }
    list(false);
}

bool PlaybackWatch::list(bool confirming)
{
    // Without an answer the recorder stays as it is: listening to silence costs, missing music
    // would be wrong.
    return !m_server.askPlayers([this, confirming, watch = m_watch.ticket()](
                                    std::optional<std::vector<SoundServer::Player>> players) {
        listed(watch, players, confirming);
    });
}

void PlaybackWatch::listed(Generation::Ticket watch,
                           const std::optional<std::vector<SoundServer::Player>>& players,
                           bool confirming)
{
    if (!m_watch.current(watch))
        return;
    if (confirming && m_state == State::confirming)
        m_state = State::watching;
    // A failed listing proves nothing either way.
    if (!players)
        return;
    const bool playing = std::any_of(players->begin(), players->end(), [this](const auto& player) {
        return player.sink == m_sinkIndex && !player.corked;
    });
    found(playing, confirming);
}

void PlaybackWatch::found(bool playing, bool confirming)
{
    if (playing) {
        m_grace.cancel();
        if (m_state == State::inGrace)
            m_state = State::watching;
        m_recorder.setPaused(false);
        return;
    }
    if (m_recorder.paused())
        return;
    if (!confirming) {
        if (m_state == State::watching) {
            m_graceFrom = m_server.now();
            armGrace();
        }
        return;
    }
    const auto quietSince = std::max(m_graceFrom, m_recorder.lastSound());
    if (m_server.now() - quietSince >= kGrace)
        m_recorder.setPaused(true);
    else if (m_state == State::watching)
        armGrace();
}

void PlaybackWatch::armGrace()
{
    const auto quietSince = std::max(m_graceFrom, m_recorder.lastSound());
    m_state = State::inGrace;
    m_grace.arm(quietSince + kGrace - m_server.now(), [this] {
        // Unasked, nothing decides: back to watching, and the next listing begins a grace.
        m_state = list(true) ? State::confirming : State::watching;
    });
}
