// The fake server as the capture sees it: the loop, the connection, requests and the record
// stream. The world the test plays with is in FakeSoundServer.cpp.
#include "testkit/fakes/FakeSoundServer.h"

#include <algorithm>
#include <iterator>
#include <utility>

bool FakeSoundServer::await(Clock::time_point deadline, const std::function<bool()>& done)
{
    while (!done() && runNext(deadline)) {
    }
    if (!done() && m_clock.now() < deadline)
        m_clock.advance(deadline - m_clock.now());
    return done();
}

SoundServer::TimerId FakeSoundServer::arm(Clock::duration delay, std::function<void()> fire)
{
    schedule(delay, {.timer = ++m_lastTimer, .work = std::move(fire)});
    return m_lastTimer;
}

void FakeSoundServer::cancel(TimerId timer) noexcept
{
    std::erase_if(m_queue, [timer](const auto& due) { return due.second.timer == timer; });
}

std::optional<SoundServer::Failure> FakeSoundServer::connect(Events events)
{
    disconnect();
    ++m_connections;
    // A new connection's answers never wait behind those owed on the last one.
    std::fill(std::begin(m_lastAnswer), std::end(m_lastAnswer), Clock::time_point{});
    m_events = std::move(events);
    m_connection = Connection::connecting;
    const bool up = m_up;
    schedule(m_delay[0], {.connection = m_connections, .work = [this, up] {
                              m_connection = up ? Connection::ready : Connection::failed;
                              m_error = up ? Failure{} : kRefused;
                              up ? m_events.ready() : m_events.lost(m_error);
                          }});
    return std::nullopt;
}

void FakeSoundServer::disconnect() noexcept
{
    closeStream();
    std::erase_if(m_queue, [this](const auto& due) { return due.second.connection != 0; });
    m_connection = Connection::none;
    m_subscribed = false;
}

std::optional<SoundServer::Failure> FakeSoundServer::askDefaultSink(DefaultSinkAnswer answer)
{
    if (refused(Refusal::defaultSink)) {
        m_error = m_refusalFailure;
        return m_error;
    }
    return this->answer(Ask::defaultSink,
                        [this, answer = std::move(answer)] { answer(m_default, Failure{}); });
}

std::optional<SoundServer::Failure> FakeSoundServer::askSink(const std::string& name,
                                                             SinkAnswer answer)
{
    return this->answer(Ask::sink, [this, name, answer = std::move(answer)] {
        const auto sink = describe(name);
        answer(sink, sink ? Failure{} : kNoEntity);
    });
}

std::optional<SoundServer::Failure> FakeSoundServer::askPlayers(PlayersAnswer answer)
{
    return this->answer(Ask::players, [this, answer = std::move(answer)] {
        std::vector<Player> players;
        for (const auto& [id, player] : m_players)
            players.push_back(player);
        answer(players);
    });
}

SoundServer::Opened FakeSoundServer::openStream(const SoundServer::Sink& sink, StreamEvents events)
{
    closeStream();
    if (!ready())
        return {.failure = kBadState, .creating = true};
    if (refused(Refusal::streamCreation))
        return {.failure = m_refusalFailure, .creating = true};
    if (refused(Refusal::streamConnection))
        return {.failure = m_refusalFailure, .creating = false};
    // A stream whose monitor went meanwhile never records; nor does one refused.
    const auto endsWith =
        refused(Refusal::streamReady) ? std::optional(m_refusalFailure) : std::nullopt;
    m_stream = Stream{.monitor = sink.monitor, .sink = sink.index, .since = {}, .corkedAt = {}};
    m_streamEvents = std::move(events);
    ++m_streams;
    schedule(m_delay[1],
             {.connection = m_connections, .stream = m_streams, .work = [this, endsWith] {
                  if (endsWith || !hasSink(m_stream->sink)) {
                      endStream(endsWith.value_or(kNoEntity));
                      return;
                  }
                  m_stream->ready = true;
                  m_stream->since = m_clock.now();
                  m_streamEvents.ready();
              }});
    return {.rate = sink.rate, .channels = sink.channels};
}

void FakeSoundServer::closeStream() noexcept
{
    if (!m_stream)
        return;
    std::erase_if(m_queue, [this](const auto& due) { return due.second.stream == m_streams; });
    m_stream.reset();
    m_chunks.clear();
}

void FakeSoundServer::cork(bool paused)
{
    if (m_stream && m_stream->corked != paused)
        m_stream->corkedAt = m_clock.now();
    if (m_stream)
        m_stream->corked = paused;
}

bool FakeSoundServer::read(const Reader& take)
{
    if (m_chunks.empty())
        return false;
    take(m_chunks.front().data(), m_chunks.front().size() * sizeof(float));
    if (!m_chunks.empty())
        m_chunks.pop_front();
    return true;
}

void FakeSoundServer::schedule(Clock::duration delay, Due due)
{
    m_queue.emplace(std::pair(m_clock.now() + delay, ++m_order), std::move(due));
}

std::optional<SoundServer::Failure> FakeSoundServer::answer(Ask ask, std::function<void()> work)
{
    if (!ready())
        return m_error;
    const int kind = static_cast<int>(ask);
    // Answers of one kind keep their order, however the delays change meanwhile.
    const auto hungUntil =
        m_hungConnection[kind] == m_connections ? m_hungUntil[kind] : Clock::time_point{};
    const auto when = std::max({m_clock.now() + m_delay[kind], hungUntil, m_lastAnswer[kind]});
    m_lastAnswer[kind] = when;
    schedule(when - m_clock.now(), {.connection = m_connections, .work = std::move(work)});
    return std::nullopt;
}
