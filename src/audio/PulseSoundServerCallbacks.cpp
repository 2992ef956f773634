// The record stream of PulseSoundServer, and the callbacks the client library makes into it for
// the context, the requests and the stream (the timers' is with the loop). The library is C:
// nothing may unwind through it, so each callback runs its work guarded, and then lets a thread
// in await() look again.
#include "audio/PulseSoundServer.h"

#include <limits>
#include <optional>
#include <pulse/channelmap.h>
#include <pulse/error.h>
#include <pulse/timeval.h>

namespace {

constexpr const char* kStreamName = "Beamwick Listener";
// Without an explicit fragment size the server hands over up to two seconds at a time, far too
// late for a flash on the beat; 512 frames is about 11 ms at 48 kHz.
constexpr std::uint32_t kFragmentFrames = 512;

std::optional<SoundServer::Change> changeOf(pa_subscription_event_type_t event)
{
    using Change = SoundServer::Change;
    const auto facility = event & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
    const auto type = event & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
    if (facility == PA_SUBSCRIPTION_EVENT_SINK_INPUT)
        return type == PA_SUBSCRIPTION_EVENT_NEW      ? Change::playerAdded
               : type == PA_SUBSCRIPTION_EVENT_REMOVE ? Change::playerRemoved
                                                      : Change::playerChanged;
    if (facility == PA_SUBSCRIPTION_EVENT_SINK && type == PA_SUBSCRIPTION_EVENT_NEW)
        return Change::sinkAdded;
    if (facility == PA_SUBSCRIPTION_EVENT_SINK && type == PA_SUBSCRIPTION_EVENT_REMOVE)
        return Change::sinkRemoved;
    if (facility == PA_SUBSCRIPTION_EVENT_SERVER)
        return Change::serverChanged;
    // A sink's own changes (running, idle, suspended) are of no interest.
    return std::nullopt;
}

std::optional<pa_channel_map> channelMapOf(const SoundServer::Sink& sink,
                                           const pa_sample_spec& format)
{
    if (sink.positions.empty() || sink.positions.size() > PA_CHANNELS_MAX)
        return std::nullopt;
    pa_channel_map map{};
    map.channels = static_cast<std::uint8_t>(sink.positions.size());
    for (std::size_t i = 0; i < sink.positions.size(); ++i)
        map.map[i] = static_cast<pa_channel_position_t>(sink.positions[i]);
    if (!pa_channel_map_valid(&map) || !pa_channel_map_compatible(&map, &format))
        return std::nullopt;
    return map;
}

// A figure no output could have (an unset one reads as all ones) says nothing, like none.
std::chrono::microseconds plausible(pa_usec_t usec)
{
    constexpr pa_usec_t kLongest = 10 * PA_USEC_PER_SEC;
    return std::chrono::microseconds(usec <= kLongest ? static_cast<std::int64_t>(usec) : 0);
}

} // namespace

SoundServer::Opened PulseSoundServer::openStream(const Sink& sink, StreamEvents events)
{
    m_stream.reset();
    m_streamEvents = std::move(events);
    const pa_sample_spec wanted{PA_SAMPLE_FLOAT32NE, sink.rate,
                                static_cast<std::uint8_t>(sink.channels)};
    // Without the sink's own map the server assumes its default for the channel count and
    // remixes: on a 2.1 output (front left, front right, LFE) that drops the LFE, the bass itself.
    const auto map = channelMapOf(sink, wanted);
    m_stream.reset(pa_stream_new(m_context.get(), kStreamName, &wanted, map ? &*map : nullptr));
    if (!m_stream)
        return {.failure = failure(error()), .creating = true};
    const pa_sample_spec* actual = pa_stream_get_sample_spec(m_stream.get());
    const Opened opened{.rate = actual ? actual->rate : 0,
                        .channels = actual ? actual->channels : sink.channels};
    pa_stream_set_state_callback(m_stream.get(), &PulseSoundServer::streamChanged, this);
    pa_stream_set_read_callback(m_stream.get(), &PulseSoundServer::streamReadable, this);
    pa_stream_set_latency_update_callback(m_stream.get(), &PulseSoundServer::streamTimed, this);

    pa_buffer_attr attributes{};
    attributes.maxlength = std::numeric_limits<std::uint32_t>::max();
    attributes.tlength = std::numeric_limits<std::uint32_t>::max();
    attributes.prebuf = std::numeric_limits<std::uint32_t>::max();
    attributes.minreq = std::numeric_limits<std::uint32_t>::max();
    attributes.fragsize = static_cast<std::uint32_t>(kFragmentFrames * pa_frame_size(&wanted));
    // Not moved by the server when the monitor goes away: the stream ends instead, and the
    // capture follows the default output itself rather than recording whatever source (a
    // microphone, say) the server would pick. The stream's timing is asked for by the capture
    // rather than kept up to date by the library, which would wake the loop while nothing plays.
    const auto flags =
        static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);
    if (pa_stream_connect_record(m_stream.get(), sink.monitor.c_str(), &attributes, flags) < 0) {
        const int status = error();
        m_stream.reset();
        return {.failure = failure(status)};
    }
    return opened;
}

void PulseSoundServer::cork(bool paused)
{
    if (m_stream)
        requested(pa_stream_cork(m_stream.get(), paused ? 1 : 0, nullptr, nullptr));
}

bool PulseSoundServer::askTiming()
{
    // The answer comes through the stream's latency callback, which sees every update.
    return m_stream && requested(pa_stream_update_timing_info(m_stream.get(), nullptr, nullptr));
}

bool PulseSoundServer::read(const Reader& take)
{
    const void* data = nullptr;
    std::size_t bytes = 0;
    if (!m_stream || pa_stream_peek(m_stream.get(), &data, &bytes) < 0 || bytes == 0)
        return false;
    take(data, bytes);
    if (m_stream)
        pa_stream_drop(m_stream.get());
    return true;
}

void PulseSoundServer::contextChanged(pa_context* context, void* self) noexcept
{
    auto* server = static_cast<PulseSoundServer*>(self);
    server->dispatch([&] {
        switch (pa_context_get_state(context)) {
        case PA_CONTEXT_READY:
            server->m_events.ready();
            break;
        case PA_CONTEXT_FAILED:
        case PA_CONTEXT_TERMINATED:
            server->m_events.lost(failure(pa_context_errno(context)));
            break;
        default:
            break;
        }
    });
}

void PulseSoundServer::eventArrived(pa_context*, pa_subscription_event_type_t event,
                                    std::uint32_t index, void* self) noexcept
{
    auto* server = static_cast<PulseSoundServer*>(self);
    server->dispatch([&] {
        if (const auto change = changeOf(event))
            server->m_events.changed(*change, index);
    });
}

void PulseSoundServer::serverInfoArrived(pa_context* context, const pa_server_info* info,
                                         void* request) noexcept
{
    auto* owed = static_cast<Request*>(request);
    PulseSoundServer* server = owed->server;
    // Settled before the answer runs, as every answer is: it may drop the connection, and
    // every request owed with it.
    auto answer = std::move(owed->defaultSink);
    server->settle(owed);
    server->dispatch([&] {
        if (!info)
            answer(std::nullopt, failure(pa_context_errno(context)));
        else
            answer(info->default_sink_name ? info->default_sink_name : "", Failure{});
    });
}

void PulseSoundServer::sinkInfoArrived(pa_context* context, const pa_sink_info* info, int eol,
                                       void* request) noexcept
{
    auto* owed = static_cast<Request*>(request);
    if (eol == 0 && info) {
        guarded([&] {
            owed->found =
                Sink{.index = info->index,
                     .monitor = info->monitor_source_name ? info->monitor_source_name : "",
                     .channels = info->sample_spec.channels,
                     .rate = info->sample_spec.rate,
                     .positions = {info->channel_map.map,
                                   info->channel_map.map + info->channel_map.channels}};
        });
        return;
    }
    // Settled before the answer runs: the answer may drop the connection, and every request
    // owed with it.
    PulseSoundServer* server = owed->server;
    auto answer = std::move(owed->sink);
    auto found = std::move(owed->found);
    server->settle(owed);
    server->dispatch([&] {
        if (found)
            answer(std::move(found), Failure{});
        else
            answer(std::nullopt, failure(eol < 0 ? pa_context_errno(context) : PA_ERR_NOENTITY));
    });
}

void PulseSoundServer::playerArrived(pa_context*, const pa_sink_input_info* info, int eol,
                                     void* request) noexcept
{
    auto* owed = static_cast<Request*>(request);
    if (eol == 0 && info) {
        guarded([&] { owed->listed.push_back({.sink = info->sink, .corked = info->corked != 0}); });
        return;
    }
    PulseSoundServer* server = owed->server;
    auto answer = std::move(owed->players);
    auto listed = std::move(owed->listed);
    server->settle(owed);
    // A failed listing proves nothing either way.
    server->dispatch([&] { answer(eol > 0 ? std::optional(std::move(listed)) : std::nullopt); });
}

void PulseSoundServer::streamChanged(pa_stream* stream, void* self) noexcept
{
    auto* server = static_cast<PulseSoundServer*>(self);
    server->dispatch([&] {
        switch (pa_stream_get_state(stream)) {
        case PA_STREAM_READY:
            server->m_streamEvents.ready();
            break;
        case PA_STREAM_FAILED:
        case PA_STREAM_TERMINATED:
            server->m_streamEvents.ended(failure(pa_context_errno(pa_stream_get_context(stream))),
                                         !server->ready());
            break;
        default:
            break;
        }
    });
}

void PulseSoundServer::streamTimed(pa_stream* stream, void* self) noexcept
{
    auto* server = static_cast<PulseSoundServer*>(self);
    const pa_timing_info* info = pa_stream_get_timing_info(stream);
    if (!info)
        return;
    // On a monitor, the sink's latency is how much later its samples are heard. The buffer in
    // the stream is left out: the capture reads whatever is there as soon as it arrives.
    const Timing timing{.output = plausible(info->sink_usec),
                        .stream = plausible(info->source_usec + info->transport_usec)};
    server->dispatch([&] {
        if (server->m_streamEvents.timed)
            server->m_streamEvents.timed(timing);
    });
}

void PulseSoundServer::streamReadable(pa_stream*, std::size_t, void* self) noexcept
{
    auto* server = static_cast<PulseSoundServer*>(self);
    server->dispatch([&] { server->m_streamEvents.readable(); });
}
