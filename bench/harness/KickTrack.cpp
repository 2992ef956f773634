#include "KickTrack.h"

#include <algorithm>
#include <cmath>
#include <numbers>

KickTrack::KickTrack(Shape shape) : m_shape(shape)
{
    m_shape.rate = std::max(m_shape.rate, 1);
    m_shape.channels = std::max(m_shape.channels, 1);
    m_frames = static_cast<std::int64_t>(std::max(m_shape.seconds, 0.0) * m_shape.rate);
    m_burstFrames = static_cast<std::int64_t>(std::max(m_shape.burstSeconds, 0.0) * m_shape.rate);
    if (m_shape.bpm <= 0.0)
        return;
    // Onsets are rounded per beat rather than accumulated, so they never drift from the grid.
    const double beatFrames = 60.0 / m_shape.bpm * m_shape.rate;
    const double leadIn = std::max(m_shape.leadInSeconds, 0.0) * m_shape.rate;
    for (std::int64_t beat = 0;; ++beat) {
        const auto onset = static_cast<std::int64_t>(std::llround(leadIn + beat * beatFrames));
        if (onset + m_burstFrames > m_frames)
            break;
        m_onsets.push_back(onset);
    }
}

float KickTrack::sampleAt(std::int64_t frame) const
{
    if (frame < 0 || frame >= m_frames || m_onsets.empty())
        return 0.0f;
    // The latest onset at or before this frame.
    const auto next = std::upper_bound(m_onsets.begin(), m_onsets.end(), frame);
    if (next == m_onsets.begin())
        return 0.0f;
    const std::int64_t offset = frame - *std::prev(next);
    if (offset >= m_burstFrames)
        return 0.0f;
    const double t = static_cast<double>(offset) / m_shape.rate;
    return static_cast<float>(m_shape.amplitude * std::exp(-t / m_shape.decaySeconds) *
                              std::sin(2.0 * std::numbers::pi * m_shape.frequency * t));
}

void KickTrack::render(std::int64_t first, std::span<float> out) const
{
    const auto channels = static_cast<std::size_t>(m_shape.channels);
    const std::size_t frames = out.size() / channels;
    for (std::size_t i = 0; i < frames; ++i) {
        const float value = sampleAt(first + static_cast<std::int64_t>(i));
        std::fill_n(out.begin() + static_cast<std::ptrdiff_t>(i * channels), channels, value);
    }
    std::fill(out.begin() + static_cast<std::ptrdiff_t>(frames * channels), out.end(), 0.0f);
}
