#include "audio/TimingReport.h"

namespace {

bool moved(std::chrono::microseconds from, std::chrono::microseconds to)
{
    const auto by = to > from ? to - from : from - to;
    return by >= TimingReport::step;
}

} // namespace

std::optional<AudioMeter::OutputTiming> TimingReport::update(const std::string& output,
                                                             const SoundServer::Timing& timing)
{
    const AudioMeter::OutputTiming next{
        .output = output, .outputLatency = timing.output, .streamLatency = timing.stream};
    if (m_last && m_last->output == output && !moved(m_last->outputLatency, next.outputLatency) &&
        !moved(m_last->streamLatency, next.streamLatency))
        return std::nullopt;
    m_last = next;
    return next;
}
