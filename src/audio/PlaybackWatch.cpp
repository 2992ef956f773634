#include "audio/PlaybackWatch.h"

#include <algorithm>
#include <pulse/introspect.h>

namespace {

// Listening to this much silence after a track ends costs little; pausing while a track starts
// would drop its first beats.
constexpr std::chrono::milliseconds kGrace{500};

} // namespace

PlaybackWatch::PlaybackWatch(pa_mainloop_api* api, PulseRecorder& recorder)
    : m_recorder(recorder), m_grace(api)
{}

void PlaybackWatch::begin(pa_context* context, std::uint64_t connection, std::uint32_t sinkIndex)
{
    m_ledger.begin(connection);
    m_context = context;
    m_sinkIndex = sinkIndex;
    m_state = State::watching;
    m_playbackSeen = false;
    m_grace.cancel();
    // A fresh stream records from the start; the main thread hears so if it was told of a
    // pause, and the listing corks it again if nothing plays.
    m_recorder.setPaused(false);
    list(false);
}

void PlaybackWatch::end() noexcept
{
    m_state = State::ended;
    m_grace.cancel();
}

void PlaybackWatch::changed(pa_subscription_event_type_t event)
{
    if (m_state == State::ended)
        return;
    if ((event & PA_SUBSCRIPTION_EVENT_TYPE_MASK) == PA_SUBSCRIPTION_EVENT_NEW) {
        // A new stream is about to play: listen at once rather than after a round trip, or its
        // first beat could be mixed before the cork is lifted. A grace under way starts anew.
        m_recorder.setPaused(false);
        if (m_state == State::inGrace || m_state == State::confirming)
            m_graceFrom = Clock::now();
        if (m_state == State::inGrace)
            armGrace();
    }
    list(false);
}

bool PlaybackWatch::list(bool confirming)
{
    // Without an answer the recorder stays as it is: listening to silence costs, missing music
    // would be wrong.
    if (!requested(pa_context_get_sink_input_info_list(
            m_context,
            confirming ? &PlaybackWatch::confirmingListing : &PlaybackWatch::ordinaryListing,
            this)))
        return false;
    m_ledger.asked();
    return true;
}

void PlaybackWatch::listed(const pa_sink_input_info* info, int eol, bool confirming)
{
    if (eol == 0 && info) {
        if (info->sink == m_sinkIndex && !info->corked)
            m_playbackSeen = true;
        return;
    }
    const bool playing = m_playbackSeen;
    m_playbackSeen = false;
    if (!m_ledger.answered())
        return;
    if (m_state == State::ended)
        return;
    if (confirming && m_state == State::confirming)
        m_state = State::watching;
    // A failed listing (eol < 0) proves nothing either way.
    if (eol > 0)
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
            m_graceFrom = Clock::now();
            armGrace();
        }
        return;
    }
    const auto quietSince = std::max(m_graceFrom, m_recorder.lastSound());
    if (Clock::now() - quietSince >= kGrace)
        m_recorder.setPaused(true);
    else if (m_state == State::watching)
        armGrace();
}

void PlaybackWatch::armGrace()
{
    const auto quietSince = std::max(m_graceFrom, m_recorder.lastSound());
    m_state = State::inGrace;
    m_grace.arm(quietSince + kGrace - Clock::now(), [this] {
        // Unasked, nothing decides: back to watching, and the next listing begins a grace.
        m_state = list(true) ? State::confirming : State::watching;
    });
}

void PlaybackWatch::ordinaryListing(pa_context*, const pa_sink_input_info* info, int eol,
                                    void* self) noexcept
{
    guarded([&] { static_cast<PlaybackWatch*>(self)->listed(info, eol, false); });
}

void PlaybackWatch::confirmingListing(pa_context*, const pa_sink_input_info* info, int eol,
                                      void* self) noexcept
{
    guarded([&] { static_cast<PlaybackWatch*>(self)->listed(info, eol, true); });
}
