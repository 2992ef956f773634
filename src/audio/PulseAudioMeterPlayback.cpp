// The audio thread's side of the meter that follows playback: the record stream is corked while
// nothing plays on the sink it listens to, and uncorked the moment something does. Every
// function here runs with the main loop's lock held.
#include "audio/PulseAudioMeter.h"
#include "audio/PulseLoop.h"

#include <cmath>
#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/stream.h>
#include <pulse/subscribe.h>

namespace {

// A listing can call a playing stream idle for a moment: PipeWire lists a stream that has just
// started as corked until its node runs, a few milliseconds later. Corking on such an answer
// would drop the first beat of a track, so nothing playing must be heard twice, this far apart,
// before the stream is corked. Listening to that much silence after a track ends costs little.
constexpr std::chrono::milliseconds kQuietGrace{500};

} // namespace

void PulseAudioMeter::watchPlayback()
{
    if (m_lost) {
        // Listening again: whether or not anything plays yet, the capture is back.
        m_lost = false;
        postInterruption(std::nullopt);
    }
    // A fresh stream records from the start; the main thread hears so if it was told of a
    // pause, and the listings below cork it again if nothing plays. A confirming listing of a
    // connection torn down never answers.
    setCorked(false);
    freeQuietCheck();
    m_confirmingQuiet = false;
    pa_context_set_subscribe_callback(m_context, &PulseAudioMeter::playbackChanged, this);
    if (pa_operation* operation =
            pa_context_subscribe(m_context, PA_SUBSCRIPTION_MASK_SINK_INPUT, nullptr, nullptr))
        pa_operation_unref(operation);
    checkPlayback();
}

bool PulseAudioMeter::checkPlayback(bool confirming)
{
    pa_operation* operation = pa_context_get_sink_input_info_list(
        m_context, confirming ? &PulseAudioMeter::quietConfirmed : &PulseAudioMeter::playbackListed,
        this);
    // Without an answer the stream stays as it is: listening to silence costs, missing music
    // would be wrong.
    if (!operation)
        return false;
    pa_operation_unref(operation);
    return true;
}

void PulseAudioMeter::playbackFound(bool playing, bool confirming)
{
    if (playing) {
        freeQuietCheck();
        setCorked(false);
        return;
    }
    if (m_corked)
        return;
    if (confirming) {
        setCorked(true);
        return;
    }
    armQuietCheck();
}

void PulseAudioMeter::armQuietCheck()
{
    if (m_quietCheck || m_confirmingQuiet)
        return;
    const timeval when = after(kQuietGrace);
    m_quietCheck = apiOf(m_loop)->time_new(
        apiOf(m_loop), &when,
        [](pa_mainloop_api* api, pa_time_event* event, const timeval*, void* self) {
            auto* meter = static_cast<PulseAudioMeter*>(self);
            // Freeing a timer from its own callback is allowed by the client library.
            api->time_free(event);
            meter->m_quietCheck = nullptr;
            try {
                meter->m_confirmingQuiet = meter->checkPlayback(true);
            } catch (...) {
            }
        },
        this);
}

void PulseAudioMeter::freeQuietCheck() noexcept
{
    if (m_quietCheck) {
        apiOf(m_loop)->time_free(m_quietCheck);
        m_quietCheck = nullptr;
    }
}

void PulseAudioMeter::setCorked(bool corked)
{
    if (corked == m_corked || !m_stream)
        return;
    if (corked) {
        // What the client library has received so far was played before the pause: whatever
        // the stream still holds is read now, and the block begun is completed with the pause's
        // own silence and measured, ahead of the report that levels stop. Only audio arriving
        // after the cork request is left to the pause, which then starts where that block ends.
        readChunks();
        const std::uint32_t silence =
            m_assembler.completeWithSilence([this](const AudioBuffer& block) { measure(block); });
        m_corkedAt = std::chrono::steady_clock::now() +
                     std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                         std::chrono::duration<double>(silence / double(m_rate)));
        m_corked = true;
        postActivity(false);
    } else {
        m_corked = false;
        // The average goes on as if the pause had been measured as silence, so the first
        // beat after it is judged as it would have been without the pause.
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - m_corkedAt).count();
        const double blocks = std::floor(seconds * m_rate / BlockAssembler::blockFrames);
        m_detector.skipSilence(blocks > 0 ? static_cast<std::uint64_t>(blocks) : 0);
        // Before any level of the resumed stream, which is posted behind it.
        postActivity(true);
    }
    if (pa_operation* operation = pa_stream_cork(m_stream, corked ? 1 : 0, nullptr, nullptr))
        pa_operation_unref(operation);
}

void PulseAudioMeter::listed(const pa_sink_input_info* info, int eol, bool confirming)
{
    if (eol == 0 && info) {
        if (info->sink == m_sinkIndex && !info->corked)
            m_playbackSeen = true;
        return;
    }
    const bool playing = m_playbackSeen;
    m_playbackSeen = false;
    if (confirming)
        m_confirmingQuiet = false;
    // A failed listing (eol < 0) proves nothing either way. Answers come in the order they were
    // asked for, so a confirming one is never older than another listing before it.
    if (eol > 0 && m_phase == Phase::streaming)
        playbackFound(playing, confirming);
}

// The client library is C: nothing may unwind through it, so each entry point stops any
// exception (an allocation failure while posting, say) here and drops that one report.

void PulseAudioMeter::playbackChanged(pa_context*, pa_subscription_event_type_t event,
                                      std::uint32_t, void* self) noexcept
{
    auto* meter = static_cast<PulseAudioMeter*>(self);
    try {
        if (meter->m_phase != Phase::streaming)
            return;
        // A new stream is about to play: listen at once rather than after a round trip, or
        // its first beat could be mixed before the cork is lifted.
        if ((event & PA_SUBSCRIPTION_EVENT_TYPE_MASK) == PA_SUBSCRIPTION_EVENT_NEW)
            meter->setCorked(false);
        meter->checkPlayback();
    } catch (...) {
    }
}

void PulseAudioMeter::playbackListed(pa_context*, const pa_sink_input_info* info, int eol,
                                     void* self) noexcept
{
    try {
        static_cast<PulseAudioMeter*>(self)->listed(info, eol, false);
    } catch (...) {
    }
}

void PulseAudioMeter::quietConfirmed(pa_context*, const pa_sink_input_info* info, int eol,
                                     void* self) noexcept
{
    try {
        static_cast<PulseAudioMeter*>(self)->listed(info, eol, true);
    } catch (...) {
    }
}
