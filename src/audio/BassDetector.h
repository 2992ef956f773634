#pragma once

#include "audio/AudioBuffer.h"

#include <cstdint>
#include <optional>
#include <span>

// Reduces blocks of audio to a bass level: mono mix, a 120 Hz second-order low-pass, the RMS of
// the filtered block, and a slow running average of that level. Single precision throughout, in
// a fixed order of operations, so that results are reproducible bit for bit. Not thread-safe:
// the capture calls it from one thread at a time.
class BassDetector {
public:
    // Coefficients already divided by the cookbook's a0.
    struct Coefficients {
        float b0 = 0, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
        bool operator==(const Coefficients&) const = default;
    };
    // The last two mono inputs and filter outputs (x1, y1 the most recent).
    struct History {
        float x1 = 0, x2 = 0, y1 = 0, y2 = 0;
        bool operator==(const History&) const = default;
    };
    // One block's result: its bass level and the running average as it stood before the block.
    struct Level {
        float bass = 0;
        float previousAverage = 0;
    };

    // Designs the filter for the sample rate in hertz and clears the history; keeps the average.
    void setUpFilter(float sampleRate) noexcept;
    // Measures the first buffer of one block. Returns nothing, and changes nothing, for a block
    // without buffers, with a null data pointer or with fewer samples than channels.
    std::optional<Level> process(std::span<const AudioBuffer> buffers) noexcept;
    // Accounts for `blocks` blocks of digital silence, each as long as the capture's blocks,
    // that were never delivered (the capture paused while nothing played): leaves the history
    // and the average exactly as processing those blocks would have, without reporting them.
    void skipSilence(std::uint64_t blocks) noexcept;

    const Coefficients& coefficients() const { return m_coefficients; }
    const History& history() const { return m_history; }
    float average() const { return m_average; }

private:
    Coefficients m_coefficients;
    History m_history;
    float m_average = 0;
};
