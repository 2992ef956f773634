#include "PlaybackClock.h"

#include <algorithm>

void PlaybackClock::note(std::int64_t monotonicNs, std::int64_t streamUs)
{
    // The interpolated stream time may step back a little when fresh timing data arrives; the
    // position played never does, so such a reading adds nothing.
    if (!m_readings.empty() && streamUs < m_readings.back().streamUs)
        return;
    m_readings.push_back({monotonicNs, streamUs});
}

std::optional<std::int64_t> PlaybackClock::playedAt(std::int64_t streamUs,
                                                    std::int64_t maxGapUs) const
{
    const auto first = std::lower_bound(
        m_readings.begin(), m_readings.end(), streamUs,
        [](const Reading& reading, std::int64_t position) { return reading.streamUs < position; });
    if (first == m_readings.end())
        return std::nullopt;
    const std::int64_t beyond = first->streamUs - streamUs;
    if (beyond > maxGapUs)
        return std::nullopt;
    return first->monotonicNs - beyond * 1000;
}
