#pragma once

#include <cstdint>
#include <optional>
#include <vector>

// Ties a playback stream's own clock (the position being played, in microseconds of audio) to
// the monotonic clock. The player notes pairs as it goes; afterwards any position in the stream
// can be turned into the monotonic moment it was played.
class PlaybackClock {
public:
    struct Reading {
        std::int64_t monotonicNs;
        std::int64_t streamUs;
    };

    // Readings must come in the order they were taken.
    void note(std::int64_t monotonicNs, std::int64_t streamUs);

    // The monotonic moment the stream reached the given position: taken from the first reading
    // at or past it, stepped back by how far the stream had got beyond the position. While the
    // stream stalls (an underrun) its position stands still, so the first reading past the
    // position is also the one taken soonest after the frame was played. Nothing when no
    // reading reaches the position, or when the nearest one is more than maxGapUs beyond it.
    std::optional<std::int64_t> playedAt(std::int64_t streamUs,
                                         std::int64_t maxGapUs = 20'000) const;

    std::size_t size() const { return m_readings.size(); }

private:
    std::vector<Reading> m_readings;
};
