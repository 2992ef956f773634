#include "audio/BassDetector.h"

#include "audio/BlockAssembler.h"

#include <array>
#include <cmath>
#include <cstring>

#if defined(__FAST_MATH__)
#error "The bass detector's results are compared bit for bit; build it without -ffast-math."
#endif

namespace {

// 2π × 120 Hz as a single, one unit in the last place below the single nearest to it. This
// exact value, not the nearest, defines the filter: the coefficients, and so every level that
// the beat thresholds were tuned on, follow from it to the bit.
constexpr float kTwoPiCorner = 753.982177734375f;
// 2Q for Q = 0.707, as a single; deliberately not √2.
constexpr float kTwoQ = 1.414f;
constexpr float kNewWeight = 0.1f;
constexpr float kOldWeight = 0.9f;
// History smaller than this is spent: from it, with silent input, the filter's largest swing
// (under 2^9 times its state, up to the 384 kHz that sound servers offer) stays below 2^-101,
// whose square rounds to exactly zero, so such a history can add nothing to any bass level.
constexpr float kSpent = 0x1p-110f;

bool spent(const BassDetector::History& h) noexcept
{
    return std::fabs(h.x1) < kSpent && std::fabs(h.x2) < kSpent && std::fabs(h.y1) < kSpent &&
           std::fabs(h.y2) < kSpent;
}

bool finite(const BassDetector::History& h) noexcept
{
    return std::isfinite(h.x1) && std::isfinite(h.x2) && std::isfinite(h.y1) && std::isfinite(h.y2);
}

bool silent(const unsigned char* bytes, std::uint64_t samples) noexcept
{
    for (std::uint64_t i = 0; i < samples; ++i) {
        float sample;
        std::memcpy(&sample, bytes + i * sizeof(float), sizeof(float));
        if (sample != 0.0f)
            return false;
    }
    return true;
}

} // namespace

void BassDetector::setUpFilter(float sampleRate) noexcept
{
    const float w0 = kTwoPiCorner / sampleRate;
    const float sine = std::sin(w0);
    const float cosine = std::cos(w0);
    const float alpha = sine / kTwoQ;
    const float a0 = alpha + 1.0f;
    const float k = 1.0f - cosine;
    const float h = k * 0.5f;

    m_coefficients.b0 = h / a0;
    m_coefficients.b1 = k / a0;
    m_coefficients.b2 = h / a0;
    m_coefficients.a1 = (cosine * -2.0f) / a0;
    m_coefficients.a2 = (1.0f - alpha) / a0;
    m_history = History{};
}

std::optional<BassDetector::Level>
BassDetector::process(std::span<const AudioBuffer> buffers) noexcept
{
    if (buffers.empty())
        return std::nullopt;
    const AudioBuffer& buffer = buffers.front();
    if (buffer.data == nullptr)
        return std::nullopt;
    const std::uint32_t channels = buffer.numberChannels == 0 ? 1 : buffer.numberChannels;
    const std::uint32_t samples = buffer.dataByteSize / 4;
    if (samples < channels)
        return std::nullopt;

    const auto* bytes = static_cast<const unsigned char*>(buffer.data);
    const float divisor = static_cast<float>(channels);
    const Coefficients c = m_coefficients;
    History h = m_history;
    // In digital silence after a sound the history would decay on into subnormal floats, which
    // x86 processors compute many times slower: on a drum track's pauses, or a paused player's
    // open stream, that was most of the detector's cost. Once it is spent and the block is
    // silent, settling it at zero gives every output of the block the same square, zero, so
    // the levels reported stay the same to the bit.
    if (spent(h) && silent(bytes, std::uint64_t{samples / channels} * channels))
        h = History{};
    float sumSquares = 0.0f;
    std::uint32_t frames = 0;

    // Whole frames only: a trailing partial frame is ignored. Written as (k + 1) * ch <= n
    // without the multiplication, which could wrap for huge channel counts.
    for (std::uint64_t start = 0; start + channels <= samples; start += channels) {
        float sum = 0.0f;
        for (std::uint32_t i = 0; i < channels; ++i) {
            // The capture's buffers need not be float-aligned; memcpy reads them either way.
            float sample;
            std::memcpy(&sample, bytes + (start + i) * sizeof(float), sizeof(float));
            sum = sum + sample;
        }
        const float x = sum / divisor;
        const float y = c.b0 * x + c.b1 * h.x1 + c.b2 * h.x2 - c.a1 * h.y1 - c.a2 * h.y2;
        h.x2 = h.x1;
        h.x1 = x;
        h.y2 = h.y1;
        h.y1 = y;
        sumSquares = sumSquares + y * y;
        ++frames;
    }
    // One sample that is not a finite number (a misbehaving player's float stream can reach the
    // monitor unchanged) would stay in the filter and the average for good, and no level after
    // it could ever clear the beat threshold: both start afresh, as at construction.
    m_history = finite(h) ? h : History{};

    const float bass = std::sqrt(sumSquares / static_cast<float>(frames));
    const float previous = m_average;
    const float fresh = bass * kNewWeight;
    const float kept = previous * kOldWeight;
    const float average = fresh + kept;
    m_average = std::isfinite(average) ? average : 0.0f;
    return Level{bass, previous};
}

void BassDetector::skipSilence(std::uint64_t blocks) noexcept
{
    // A pause often begins while the filter still rings from the last sound, and that ringing
    // would have gone into the first silent blocks' levels and so into the average. It goes
    // through the filter as it would have arrived, block by block, until the history is spent;
    // process()'s flush then bounds this to a few hundred milliseconds of audio at any rate.
    static constexpr std::array<float, BlockAssembler::blockFrames> silence{};
    const AudioBuffer silentBlock{1, static_cast<std::uint32_t>(sizeof silence), silence.data()};
    for (; blocks > 0 && !spent(m_history); --blocks)
        process({&silentBlock, 1});
    if (blocks == 0)
        return;

    // From a spent history a silent block filters to exactly zero (process() settles it at the
    // block's start), so its bass is 0 and only the average moves, in process()'s own steps.
    m_history = History{};
    for (; blocks > 0; --blocks) {
        const float fresh = 0.0f * kNewWeight;
        const float kept = m_average * kOldWeight;
        const float next = fresh + kept;
        // Repeated decay ends on a fixed point (zero, or the smallest subnormal, which 0.9
        // rounds back to itself); the remaining blocks would change nothing.
        if (next == m_average)
            break;
        m_average = next;
    }
}
