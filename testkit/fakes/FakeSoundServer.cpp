#include "testkit/fakes/FakeSoundServer.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace {

// The sink index the server gives a player on no sink.
constexpr std::uint32_t kNoSink = std::numeric_limits<std::uint32_t>::max();
constexpr std::uint32_t kRate = 48000;
constexpr std::uint32_t kChannels = 2;
constexpr std::uint32_t kBlockFrames = 512;

} // namespace

void FakeSoundServer::addSink(const std::string& name)
{
    m_sinks.push_back({name, ++m_lastIndex});
    tell(Change::sinkAdded, m_lastIndex);
}

void FakeSoundServer::removeSink(const std::string& name)
{
    const auto index = sinkIndex(name);
    if (!index)
        return;
    std::erase_if(m_sinks, [&](const Sink& sink) { return sink.name == name; });
    if (m_stream && m_stream->sink == *index)
        endStream(kKilled);
    tell(Change::sinkRemoved, *index);
    if (m_default == name && !m_sinks.empty())
        setDefault(m_sinks.front().name);
    const auto moveTo = sinkIndex(m_default);
    for (auto it = m_players.begin(); it != m_players.end();) {
        if (it->second.sink != *index) {
            ++it;
        } else if (moveTo) {
            it->second.sink = *moveTo;
            tell(Change::playerChanged, it++->first);
        } else {
            tell(Change::playerRemoved, it->first);
            it = m_players.erase(it);
        }
    }
}

void FakeSoundServer::setDefault(const std::string& name)
{
    m_default = name;
    tell(Change::serverChanged, 0);
}

void FakeSoundServer::loseServer()
{
    m_up = false;
    if (m_connection != Connection::connecting && m_connection != Connection::ready)
        return;
    m_connection = Connection::failed;
    m_error = kTerminated;
    if (m_stream)
        endStream(kTerminated);
    // Nothing more is answered or told on a connection that is gone.
    std::erase_if(m_queue, [this](const auto& due) {
        return due.second.connection == m_connections && due.second.stream == 0;
    });
    schedule({}, {.connection = m_connections, .work = [this] { m_events.lost(kTerminated); }});
}

std::uint32_t FakeSoundServer::addPlayer(const std::string& sink, bool corked)
{
    const std::uint32_t id = ++m_lastPlayer;
    m_players[id] = {sinkIndex(sink).value_or(kNoSink), corked};
    tell(Change::playerAdded, id);
    return id;
}

void FakeSoundServer::removePlayer(std::uint32_t id)
{
    if (m_players.erase(id))
        tell(Change::playerRemoved, id);
}

void FakeSoundServer::corkPlayer(std::uint32_t id, bool corked)
{
    if (const auto found = m_players.find(id); found != m_players.end()) {
        found->second.corked = corked;
        tell(Change::playerChanged, id);
    }
}

void FakeSoundServer::killStream()
{
    if (m_stream && m_stream->ready)
        endStream(kKilled);
}

bool FakeSoundServer::feed(float amplitude)
{
    if (!m_stream || !m_stream->ready || m_stream->corked || m_suspended)
        return false;
    std::vector<float> chunk(kBlockFrames * kChannels);
    for (std::uint32_t frame = 0; frame < kBlockFrames; ++frame) {
        const float value = amplitude * std::sin(6.2831853f * 60.0f * float(frame) / kRate);
        std::fill_n(chunk.begin() + frame * kChannels, kChannels, value);
    }
    m_chunks.push_back(std::move(chunk));
    schedule({}, {.connection = m_connections, .stream = m_streams, .work = [this] {
                      m_streamEvents.readable();
                  }});
    return true;
}

bool FakeSoundServer::askTiming()
{
    if (!m_stream || !ready())
        return false;
    ++timingAsks;
    schedule({},
             {.connection = m_connections, .stream = m_streams, .work = [this, timing = m_timing] {
                  if (m_streamEvents.timed)
                      m_streamEvents.timed(timing);
              }});
    return true;
}

void FakeSoundServer::advance(Clock::duration by)
{
    const auto until = m_clock.now() + by;
    while (runNext(until)) {
    }
    m_clock.advance(until - m_clock.now());
}

bool FakeSoundServer::playing(std::uint32_t sink) const
{
    return std::any_of(m_players.begin(), m_players.end(), [sink](const auto& player) {
        return player.second.sink == sink && !player.second.corked;
    });
}

std::size_t FakeSoundServer::armedTimers() const
{
    return std::count_if(m_queue.begin(), m_queue.end(),
                         [](const auto& due) { return due.second.timer != 0; });
}

bool FakeSoundServer::hasSink(std::uint32_t index) const
{
    return std::any_of(m_sinks.begin(), m_sinks.end(),
                       [index](const Sink& sink) { return sink.index == index; });
}

std::optional<std::uint32_t> FakeSoundServer::sinkIndex(const std::string& name) const
{
    for (const auto& sink : m_sinks)
        if (sink.name == name)
            return sink.index;
    return std::nullopt;
}

void FakeSoundServer::tell(Change change, std::uint32_t index)
{
    if (m_subscribed && ready())
        schedule({}, {.connection = m_connections,
                      .work = [this, change, index] { m_events.changed(change, index); }});
}

void FakeSoundServer::endStream(Failure failure)
{
    const std::uint64_t stream = m_streams;
    std::erase_if(m_queue, [stream](const auto& due) { return due.second.stream == stream; });
    m_stream->ready = false;
    m_chunks.clear();
    schedule({}, {.connection = m_connections,
                  .stream = stream,
                  .work = [this, failure = std::move(failure)] {
                      m_streamEvents.ended(failure, !ready());
                  }});
}

bool FakeSoundServer::runNext(Clock::time_point until)
{
    if (m_queue.empty() || m_queue.begin()->first.first > until)
        return false;
    const auto when = m_queue.begin()->first.first;
    auto work = std::move(m_queue.begin()->second.work);
    m_queue.erase(m_queue.begin());
    if (when > m_clock.now())
        m_clock.advance(when - m_clock.now());
    work();
    return true;
}

std::optional<SoundServer::Sink> FakeSoundServer::describe(const std::string& name)
{
    const auto index = sinkIndex(name);
    if (!index)
        return std::nullopt;
    return SoundServer::Sink{
        *index, refused(Refusal::monitor) ? "" : name + ".monitor", kChannels, kRate, {}};
}

bool FakeSoundServer::refused(Refusal refusal)
{
    if (m_refusal != refusal)
        return false;
    m_refusal = Refusal::none;
    return true;
}
