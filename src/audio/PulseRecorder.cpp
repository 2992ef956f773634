#include "audio/PulseRecorder.h"

#include <cmath>
#include <limits>
#include <pulse/introspect.h>
#include <pulse/stream.h>

namespace {

constexpr const char* kStreamName = "Beamwick Listener";
// Without an explicit fragment size the server hands over up to two seconds at a time, far too
// late for a flash on the beat; 512 frames is about 11 ms at 48 kHz.
constexpr std::uint32_t kFragmentFrames = 512;
constexpr float kFallbackRate = 48000.0f;

} // namespace

PulseRecorder::PulseRecorder(BassDetector& detector, Handlers handlers)
    : m_detector(detector), m_handlers(std::move(handlers))
{}

std::optional<PulseRecorder::Failure> PulseRecorder::open(pa_context* context,
                                                          const pa_sink_info& sink, bool fresh)
{
    m_stream.reset();
    if (!sink.monitor_source_name || sink.monitor_source_name[0] == '\0')
        return Failure{MeterError::Step::readingSpeakerId, 0};

    const pa_sample_spec wanted{PA_SAMPLE_FLOAT32NE, sink.sample_spec.rate,
                                sink.sample_spec.channels};
    const pa_channel_map* map =
        pa_channel_map_compatible(&sink.channel_map, &wanted) ? &sink.channel_map : nullptr;
    m_stream.reset(pa_stream_new(context, kStreamName, &wanted, map));
    if (!m_stream)
        return Failure{MeterError::Step::creatingListener, pa_context_errno(context)};

    // Designed before the stream is connected, so the read callback never sees a stale filter.
    const pa_sample_spec* actual = pa_stream_get_sample_spec(m_stream.get());
    const float rate =
        actual && actual->rate > 0 ? static_cast<float>(actual->rate) : kFallbackRate;
    const std::uint32_t channels = actual ? actual->channels : wanted.channels;
    if (fresh || rate != m_rate)
        m_detector.setUpFilter(rate);
    if (fresh || channels != m_channels) {
        // Another output's block begun in another layout ends where that output's audio did.
        if (!fresh)
            m_assembler.completeWithSilence([this](const AudioBuffer& block) { measure(block); });
        m_assembler.reset(channels);
    }
    m_rate = rate;
    m_channels = channels;
    m_sinkIndex = sink.index;

    pa_stream_set_state_callback(m_stream.get(), &PulseRecorder::stateChanged, this);
    pa_stream_set_read_callback(m_stream.get(), &PulseRecorder::readable, this);

    pa_buffer_attr attributes{};
    attributes.maxlength = std::numeric_limits<std::uint32_t>::max();
    attributes.tlength = std::numeric_limits<std::uint32_t>::max();
    attributes.prebuf = std::numeric_limits<std::uint32_t>::max();
    attributes.minreq = std::numeric_limits<std::uint32_t>::max();
    attributes.fragsize = static_cast<std::uint32_t>(kFragmentFrames * pa_frame_size(&wanted));
    // Not moved by the server when the monitor goes away: the stream ends instead, and the
    // capture follows the default output itself rather than recording whatever source (a
    // microphone, say) the server would pick.
    const auto flags =
        static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);
    if (pa_stream_connect_record(m_stream.get(), sink.monitor_source_name, &attributes, flags) <
        0) {
        const int status = pa_context_errno(context);
        m_stream.reset();
        return Failure{MeterError::Step::startingListener, status};
    }
    return std::nullopt;
}

void PulseRecorder::waitWithoutStream()
{
    m_stream.reset();
    if (m_paused)
        return;
    m_pausedAt.reset();
    m_paused = true;
    m_handlers.activity(false);
}

void PulseRecorder::setPaused(bool paused)
{
    if (paused == m_paused || !m_stream)
        return;
    if (paused) {
        // What the client library has received so far was played before the pause: whatever
        // the stream still holds is read now, and the block begun is completed with the pause's
        // own silence and measured, ahead of the report that levels stop. Only audio arriving
        // after the cork request is left to the pause, which then starts where that block ends.
        readChunks();
        const std::uint32_t silence =
            m_assembler.completeWithSilence([this](const AudioBuffer& block) { measure(block); });
        m_pausedAt = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                        std::chrono::duration<double>(silence / double(m_rate)));
        m_paused = true;
        m_handlers.activity(false);
    } else {
        m_paused = false;
        // The average goes on as if the pause had been measured as silence, so the first
        // beat after it is judged as it would have been without the pause.
        const double seconds =
            m_pausedAt ? std::chrono::duration<double>(Clock::now() - *m_pausedAt).count() : 0.0;
        const double blocks = std::floor(seconds * m_rate / BlockAssembler::blockFrames);
        m_detector.skipSilence(blocks > 0 ? static_cast<std::uint64_t>(blocks) : 0);
        // Before any level of the resumed stream, which is posted behind it.
        m_handlers.activity(true);
    }
    requested(pa_stream_cork(m_stream.get(), paused ? 1 : 0, nullptr, nullptr));
}

void PulseRecorder::readChunks()
{
    for (;;) {
        const void* data = nullptr;
        std::size_t bytes = 0;
        if (pa_stream_peek(m_stream.get(), &data, &bytes) < 0 || bytes == 0)
            return;
        // A hole (no data, but a size) is silence of that length; reading on keeps the blocks
        // in step with stream time. Whatever arrives after a cork was asked for is dropped:
        // the pause accounts for it.
        if (!m_paused)
            m_assembler.append(data, bytes, [this](const AudioBuffer& block) { measure(block); });
        pa_stream_drop(m_stream.get());
    }
}

void PulseRecorder::measure(const AudioBuffer& block)
{
    const auto level = m_detector.process({&block, 1});
    if (!level)
        return;
    // Any bass at all is sound: digital silence filters to exactly zero once the filter's ring
    // has died away, and every other signal leaves something.
    if (level->bass > 0)
        m_lastSound = Clock::now();
    m_handlers.measured(*level);
}

void PulseRecorder::stateChanged(pa_stream* stream, void* self) noexcept
{
    auto* recorder = static_cast<PulseRecorder*>(self);
    guarded([&] {
        switch (pa_stream_get_state(stream)) {
        case PA_STREAM_READY:
            recorder->m_handlers.ready();
            break;
        case PA_STREAM_FAILED:
        case PA_STREAM_TERMINATED:
            recorder->m_handlers.ended(pa_context_errno(pa_stream_get_context(stream)));
            break;
        default:
            break;
        }
    });
}

void PulseRecorder::readable(pa_stream*, std::size_t, void* self) noexcept
{
    guarded([&] { static_cast<PulseRecorder*>(self)->readChunks(); });
}
