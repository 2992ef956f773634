#pragma once

#include <cstdint>
#include <optional>
#include <vector>

// Pairs each played onset with the flash it caused and summarises the delays.
class LatencyMatch {
public:
    struct Window {
        // A flash this long before its onset still counts: the played time is an estimate and
        // the null sink hands audio to its monitor a little before it counts it as played.
        std::int64_t earlyNs = 20'000'000;
        // A flash later than this after its onset (or after the next onset, whichever comes
        // first) is not this onset's.
        std::int64_t lateNs = 250'000'000;
    };

    struct Summary {
        std::size_t onsets = 0;
        std::size_t missed = 0;
        // Flashes within the track that belong to no onset.
        std::size_t extra = 0;
        // Delays (flash − onset) of matched onsets, in milliseconds, ascending.
        std::vector<double> delaysMs;
        std::optional<double> medianMs() const;
        std::optional<double> p95Ms() const;
        std::optional<double> maxMs() const;
    };

    // Both lists ascending, monotonic nanoseconds.
    static Summary match(const std::vector<std::int64_t>& onsetsNs,
                         const std::vector<std::int64_t>& flashesNs, Window window);
    static Summary match(const std::vector<std::int64_t>& onsetsNs,
                         const std::vector<std::int64_t>& flashesNs)
    {
        return match(onsetsNs, flashesNs, Window());
    }

    // Nearest-rank percentile (0 < p ≤ 100) of ascending values.
    static std::optional<double> percentile(const std::vector<double>& ascending, double p);
};
