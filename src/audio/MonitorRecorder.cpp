#include "audio/MonitorRecorder.h"

#include <cmath>

namespace {

constexpr float kFallbackRate = 48000.0f;

} // namespace

MonitorRecorder::MonitorRecorder(SoundServer& server, BassDetector& detector, Handlers handlers)
    : m_server(server), m_detector(detector), m_handlers(std::move(handlers)), m_retime(server)
{}

std::optional<MonitorRecorder::Refused> MonitorRecorder::open(const SoundServer::Sink& sink,
                                                              bool fresh)
{
    close();
    if (sink.monitor.empty())
        return Refused{MeterError::Step::readingSpeakerId, {}};
    const auto opened = m_server.openStream(
        sink, {.ready =
                   [this] {
                       askTiming();
                       m_handlers.ready();
                   },
               .ended = [this](const SoundServer::Failure& failure,
                               bool lost) { m_handlers.ended(failure, lost); },
               .readable = [this] { readChunks(); },
               .timed = [this](const SoundServer::Timing& timing) { timed(timing); }});
    if (opened.failure)
        return Refused{opened.creating ? MeterError::Step::creatingListener
                                       : MeterError::Step::startingListener,
                       *opened.failure};
    m_open = true;

    // Designed before the lock is let go, so the first chunk read never sees a stale filter.
    const float rate = opened.rate > 0 ? static_cast<float>(opened.rate) : kFallbackRate;
    if (fresh || rate != m_rate)
        m_detector.setUpFilter(rate);
    if (fresh || opened.channels != m_channels) {
        // Another output's block begun in another layout ends where that output's audio did.
        if (!fresh)
            m_assembler.completeWithSilence([this](const AudioBuffer& block) { measure(block); });
        m_assembler.reset(opened.channels);
    }
    m_rate = rate;
    m_channels = opened.channels;
    m_sinkIndex = sink.index;
    return std::nullopt;
}

void MonitorRecorder::waitWithoutStream()
{
    close();
    if (m_paused)
        return;
    m_pausedAt.reset();
    m_paused = true;
    m_handlers.activity(false);
}

void MonitorRecorder::setPaused(bool paused)
{
    if (paused == m_paused || !m_open)
        return;
    if (paused) {
        // What the client library has received so far was played before the pause: whatever
        // the stream still holds is read now, and the block begun is completed with the pause's
        // own silence and measured, ahead of the report that levels stop. Only audio arriving
        // after the cork request is left to the pause, which then starts where that block ends.
        readChunks();
        const std::uint32_t silence =
            m_assembler.completeWithSilence([this](const AudioBuffer& block) { measure(block); });
        m_pausedAt = m_server.now() + std::chrono::duration_cast<Clock::duration>(
                                          std::chrono::duration<double>(silence / double(m_rate)));
        m_paused = true;
        m_retime.cancel();
        m_handlers.activity(false);
    } else {
        m_paused = false;
        // The average goes on as if the pause had been measured as silence, so the first
        // beat after it is judged as it would have been without the pause.
        const double seconds =
            m_pausedAt ? std::chrono::duration<double>(m_server.now() - *m_pausedAt).count() : 0.0;
        const double blocks = std::floor(seconds * m_rate / BlockAssembler::blockFrames);
        m_detector.skipSilence(blocks > 0 ? static_cast<std::uint64_t>(blocks) : 0);
        // Before any level of the resumed stream, which is posted behind it.
        m_handlers.activity(true);
    }
    m_server.cork(paused);
    if (!paused)
        askTiming();
}

void MonitorRecorder::timed(SoundServer::Timing timing)
{
    // A level is measured once its block's last frame has arrived; on average a beat in it
    // reached the monitor half a block before that, and that is the moment to be heard.
    const double halfBlock = BlockAssembler::blockFrames / 2.0 / double(m_rate);
    timing.stream += std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::duration<double>(halfBlock));
    m_handlers.timed(timing);
}

void MonitorRecorder::askTiming()
{
    // Nothing plays while paused: the timing can wait, and the loop sleeps.
    if (m_paused)
        return;
    m_server.askTiming();
    m_retime.arm(retimeInterval, [this] { askTiming(); });
}

void MonitorRecorder::readChunks()
{
    // A hole (no data, but a size) is silence of that length; reading on keeps the blocks in step
    // with stream time. Whatever arrives after a cork was asked for is dropped: the pause
    // accounts for it.
    const SoundServer::Reader take = [this](const void* data, std::size_t bytes) {
        if (!m_paused)
            m_assembler.append(data, bytes, [this](const AudioBuffer& block) { measure(block); });
    };
    while (m_server.read(take)) {
    }
}

void MonitorRecorder::measure(const AudioBuffer& block)
{
    const auto level = m_detector.process({&block, 1});
    if (!level)
        return;
    // Any bass at all is sound: digital silence filters to exactly zero once the filter's ring
    // has died away, and every other signal leaves something.
    if (level->bass > 0)
        m_lastSound = m_server.now();
    m_handlers.measured(*level);
}
