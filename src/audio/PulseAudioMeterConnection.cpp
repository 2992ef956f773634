// The audio thread's side of the meter: the set-up steps, reading, and reconnecting. Every
// function here runs with the main loop's lock held.
#include "audio/PulseAudioMeter.h"
#include "audio/PulseLoop.h"

#include <limits>
#include <pulse/context.h>
#include <pulse/def.h>
#include <pulse/introspect.h>
#include <pulse/stream.h>

namespace {

constexpr const char* kCreatingTap = "Creating audio tap";
constexpr const char* kFindingSpeakers = "Finding speakers";
constexpr const char* kReadingSpeakerId = "Reading speaker ID";
constexpr const char* kCreatingListener = "Creating listener";
constexpr const char* kStartingListener = "Starting listener";
constexpr const char* kStartingAudio = "Starting audio";
// Describes a capture that was established and then lost, e.g. to a restarting server.
constexpr const char* kListening = "Listening to audio";

constexpr const char* kClientName = "Beamwick";
constexpr const char* kStreamName = "Beamwick Listener";
// Without an explicit fragment size the server hands over up to two seconds at a time, far too
// late for a flash on the beat; 512 frames is about 11 ms at 48 kHz.
constexpr std::uint32_t kFragmentFrames = 512;
constexpr float kFallbackRate = 48000.0f;

} // namespace

const char* PulseAudioMeter::currentStep() const
{
    switch (m_phase) {
    case Phase::readingServer:
        return kFindingSpeakers;
    case Phase::readingSink:
        return kReadingSpeakerId;
    case Phase::startingStream:
        return kStartingAudio;
    case Phase::streaming:
        return kListening;
    case Phase::idle:
    case Phase::connecting:
    case Phase::failed:
        break;
    }
    return kCreatingTap;
}

void PulseAudioMeter::beginAttempt()
{
    m_phase = Phase::connecting;
    m_context = pa_context_new(apiOf(m_loop), kClientName);
    if (!m_context) {
        fail(kCreatingTap, PA_ERR_INTERNAL);
        return;
    }
    pa_context_set_state_callback(m_context, &PulseAudioMeter::contextStateChanged, this);
    armDeadline();
    const char* server = m_options.server.empty() ? nullptr : m_options.server.c_str();
    // Never spawn a sound server of our own: listening is only meaningful to the user's.
    if (pa_context_connect(m_context, server, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        fail(kCreatingTap, pa_context_errno(m_context));
}

void PulseAudioMeter::readServerInfo()
{
    m_phase = Phase::readingServer;
    pa_operation* operation =
        pa_context_get_server_info(m_context, &PulseAudioMeter::serverInfoArrived, this);
    if (!operation) {
        fail(kFindingSpeakers, pa_context_errno(m_context));
        return;
    }
    pa_operation_unref(operation);
}

void PulseAudioMeter::readSinkInfo(const pa_server_info* info)
{
    if (!info) {
        fail(kFindingSpeakers, pa_context_errno(m_context));
        return;
    }
    m_phase = Phase::readingSink;
    // A server without a default sink goes on to the next read, which then fails on its own.
    const char* sink = info->default_sink_name ? info->default_sink_name : "";
    pa_operation* operation =
        pa_context_get_sink_info_by_name(m_context, sink, &PulseAudioMeter::sinkInfoArrived, this);
    if (!operation) {
        fail(kReadingSpeakerId, pa_context_errno(m_context));
        return;
    }
    pa_operation_unref(operation);
}

void PulseAudioMeter::createStream(const pa_sink_info* info)
{
    if (!info->monitor_source_name || info->monitor_source_name[0] == '\0') {
        fail(kReadingSpeakerId, 0);
        return;
    }

    const pa_sample_spec wanted{PA_SAMPLE_FLOAT32NE, info->sample_spec.rate,
                                info->sample_spec.channels};
    const pa_channel_map* map =
        pa_channel_map_compatible(&info->channel_map, &wanted) ? &info->channel_map : nullptr;
    m_stream = pa_stream_new(m_context, kStreamName, &wanted, map);
    if (!m_stream) {
        fail(kCreatingListener, pa_context_errno(m_context));
        return;
    }

    // Designed before the stream is connected, so the read callback never sees a stale filter.
    const pa_sample_spec* actual = pa_stream_get_sample_spec(m_stream);
    const float rate =
        actual && actual->rate > 0 ? static_cast<float>(actual->rate) : kFallbackRate;
    m_detector.setUpFilter(rate);
    m_rate = rate;
    m_channels = actual ? actual->channels : wanted.channels;
    m_assembler.reset(m_channels);
    m_sinkIndex = info->index;

    pa_stream_set_state_callback(m_stream, &PulseAudioMeter::streamStateChanged, this);
    pa_stream_set_read_callback(m_stream, &PulseAudioMeter::streamReadable, this);

    pa_buffer_attr attributes{};
    attributes.maxlength = std::numeric_limits<std::uint32_t>::max();
    attributes.tlength = std::numeric_limits<std::uint32_t>::max();
    attributes.prebuf = std::numeric_limits<std::uint32_t>::max();
    attributes.minreq = std::numeric_limits<std::uint32_t>::max();
    attributes.fragsize = static_cast<std::uint32_t>(kFragmentFrames * pa_frame_size(&wanted));
    m_phase = Phase::startingStream;
    if (pa_stream_connect_record(m_stream, info->monitor_source_name, &attributes,
                                 PA_STREAM_ADJUST_LATENCY) < 0)
        fail(kStartingListener, pa_context_errno(m_context));
}

void PulseAudioMeter::fail(const char* step, int status)
{
    if (m_phase == Phase::failed)
        return;
    m_phase = Phase::failed;
    freeDeadline();
    if (!m_established) {
        // start() is waiting; it tears everything down and throws.
        m_failure = MeterError(step, status);
        pa_threaded_mainloop_signal(m_loop, 0);
        return;
    }
    if (!m_lost) {
        m_lost = true;
        postInterruption(MeterError(kListening, status));
    }
    scheduleRetry();
}

void PulseAudioMeter::connectionLost(int status)
{
    if (m_phase == Phase::streaming) {
        fail(kListening, status);
        return;
    }
    fail(currentStep(), status);
}

void PulseAudioMeter::tearDownConnection() noexcept
{
    freeDeadline();
    freeQuietCheck();
    if (m_retry) {
        apiOf(m_loop)->time_free(m_retry);
        m_retry = nullptr;
    }
    // Reverse order of creation: the stream, then the context it lives on.
    if (m_stream) {
        pa_stream_set_state_callback(m_stream, nullptr, nullptr);
        pa_stream_set_read_callback(m_stream, nullptr, nullptr);
        pa_stream_disconnect(m_stream);
        pa_stream_unref(m_stream);
        m_stream = nullptr;
    }
    if (m_context) {
        pa_context_set_state_callback(m_context, nullptr, nullptr);
        pa_context_disconnect(m_context);
        pa_context_unref(m_context);
        m_context = nullptr;
    }
}

void PulseAudioMeter::scheduleRetry()
{
    if (m_retry)
        return;
    const timeval when = after(m_options.retryInterval);
    m_retry = apiOf(m_loop)->time_new(
        apiOf(m_loop), &when,
        [](pa_mainloop_api*, pa_time_event*, const timeval*, void* self) {
            try {
                static_cast<PulseAudioMeter*>(self)->retry();
            } catch (...) {
            }
        },
        this);
}

void PulseAudioMeter::retry()
{
    // A failed context cannot be reused: tear it down (this frees the retry event itself, which
    // the client library allows from inside its callback) and connect afresh.
    tearDownConnection();
    beginAttempt();
}

void PulseAudioMeter::armDeadline()
{
    freeDeadline();
    const timeval when = after(m_options.setUpTimeout);
    m_deadline = apiOf(m_loop)->time_new(
        apiOf(m_loop), &when,
        [](pa_mainloop_api*, pa_time_event*, const timeval*, void* self) {
            auto* meter = static_cast<PulseAudioMeter*>(self);
            try {
                meter->fail(meter->currentStep(), PA_ERR_TIMEOUT);
            } catch (...) {
            }
        },
        this);
}

void PulseAudioMeter::freeDeadline() noexcept
{
    if (m_deadline) {
        apiOf(m_loop)->time_free(m_deadline);
        m_deadline = nullptr;
    }
}

void PulseAudioMeter::readChunks()
{
    for (;;) {
        const void* data = nullptr;
        std::size_t bytes = 0;
        if (pa_stream_peek(m_stream, &data, &bytes) < 0 || bytes == 0)
            return;
        // A hole (no data, but a size) is silence of that length; reading on keeps the blocks
        // in step with stream time. Whatever arrives after a cork was asked for is dropped:
        // the pause accounts for it.
        if (!m_corked)
            deliverChunk(data, bytes);
        pa_stream_drop(m_stream);
    }
}

void PulseAudioMeter::deliverChunk(const void* data, std::size_t bytes)
{
    m_assembler.append(data, bytes, [this](const AudioBuffer& block) { measure(block); });
}

void PulseAudioMeter::measure(const AudioBuffer& block)
{
    if (const auto level = m_detector.process({&block, 1}))
        m_handOff.post(level->bass, level->previousAverage);
}

// The client library is C: nothing may unwind through it, so each entry point stops any
// exception (an allocation failure while posting, say) here and drops that one report.

void PulseAudioMeter::contextStateChanged(pa_context* context, void* self) noexcept
{
    auto* meter = static_cast<PulseAudioMeter*>(self);
    try {
        switch (pa_context_get_state(context)) {
        case PA_CONTEXT_READY:
            if (meter->m_phase == Phase::connecting)
                meter->readServerInfo();
            break;
        case PA_CONTEXT_FAILED:
        case PA_CONTEXT_TERMINATED:
            meter->connectionLost(pa_context_errno(context));
            break;
        default:
            break;
        }
    } catch (...) {
    }
}

void PulseAudioMeter::serverInfoArrived(pa_context*, const pa_server_info* info,
                                        void* self) noexcept
{
    auto* meter = static_cast<PulseAudioMeter*>(self);
    try {
        if (meter->m_phase == Phase::readingServer)
            meter->readSinkInfo(info);
    } catch (...) {
    }
}

void PulseAudioMeter::sinkInfoArrived(pa_context* context, const pa_sink_info* info, int eol,
                                      void* self) noexcept
{
    auto* meter = static_cast<PulseAudioMeter*>(self);
    try {
        if (meter->m_phase != Phase::readingSink)
            return;
        if (eol < 0)
            meter->fail(kReadingSpeakerId, pa_context_errno(context));
        else if (eol > 0 || !info)
            meter->fail(kReadingSpeakerId, PA_ERR_NOENTITY);
        else
            meter->createStream(info);
    } catch (...) {
    }
}

void PulseAudioMeter::streamStateChanged(pa_stream* stream, void* self) noexcept
{
    auto* meter = static_cast<PulseAudioMeter*>(self);
    try {
        switch (pa_stream_get_state(stream)) {
        case PA_STREAM_READY:
            if (meter->m_phase == Phase::startingStream) {
                meter->m_phase = Phase::streaming;
                meter->freeDeadline();
                pa_threaded_mainloop_signal(meter->m_loop, 0);
                meter->watchPlayback();
            }
            break;
        case PA_STREAM_FAILED:
        case PA_STREAM_TERMINATED:
            meter->connectionLost(pa_context_errno(pa_stream_get_context(stream)));
            break;
        default:
            break;
        }
    } catch (...) {
    }
}

void PulseAudioMeter::streamReadable(pa_stream*, std::size_t, void* self) noexcept
{
    auto* meter = static_cast<PulseAudioMeter*>(self);
    try {
        meter->readChunks();
    } catch (...) {
    }
}
