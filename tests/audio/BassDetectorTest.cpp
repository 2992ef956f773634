#include "audio/BassDetector.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

namespace {

constexpr float kRate = 48000.0f;

AudioBuffer bufferOf(const std::vector<float>& samples, std::uint32_t channels)
{
    return AudioBuffer{channels, static_cast<std::uint32_t>(samples.size() * sizeof(float)),
                       samples.data()};
}

// A detector with its filter designed for `rate`, as a capture starts one.
BassDetector ready(float rate = kRate)
{
    BassDetector detector;
    detector.setUpFilter(rate);
    return detector;
}

std::optional<BassDetector::Level> feed(BassDetector& detector, const std::vector<float>& samples,
                                        std::uint32_t channels)
{
    const AudioBuffer buffer = bufferOf(samples, channels);
    return detector.process({&buffer, 1});
}

// Interleaved stereo: the same value on both channels.
std::vector<float> stereo(const std::vector<float>& mono)
{
    std::vector<float> out;
    out.reserve(mono.size() * 2);
    for (float v : mono) {
        out.push_back(v);
        out.push_back(v);
    }
    return out;
}

std::vector<float> sine(double frequency, std::size_t frames, std::size_t startFrame = 0)
{
    std::vector<float> out(frames);
    for (std::size_t i = 0; i < frames; ++i)
        out[i] = static_cast<float>(
            std::sin(2.0 * std::numbers::pi * frequency * double(startFrame + i) / kRate));
    return out;
}

std::vector<float> noise(std::size_t count, unsigned seed)
{
    std::mt19937 generator(seed);
    std::uniform_real_distribution<float> distribution(-1.0f, 1.0f);
    std::vector<float> out(count);
    for (float& v : out)
        v = distribution(generator);
    return out;
}

// Each step stored through a volatile float, so every operation is rounded to single precision
// on its own and nothing can be fused or reordered: the intended arithmetic, step by step.
struct ReferenceDetector {
    float b0 = 0, b1 = 0, b2 = 0, a1 = 0, a2 = 0, x1 = 0, x2 = 0, y1 = 0, y2 = 0, average = 0;

    explicit ReferenceDetector(float sr)
    {
        volatile float w0 = 753.982177734375f / sr;
        volatile float s = std::sin(float(w0));
        volatile float c = std::cos(float(w0));
        volatile float alpha = s / 1.414f;
        volatile float a0 = alpha + 1.0f;
        volatile float k = 1.0f - c;
        volatile float h = k * 0.5f;
        b0 = h / a0;
        b1 = k / a0;
        b2 = h / a0;
        volatile float m = c * -2.0f;
        a1 = m / a0;
        volatile float oneMinus = 1.0f - alpha;
        a2 = oneMinus / a0;
    }

    std::pair<float, float> block(const std::vector<float>& samples, std::uint32_t ch)
    {
        volatile float sumSquares = 0.0f;
        std::uint32_t frames = 0;
        for (std::size_t k = 0; (k + 1) * ch <= samples.size(); ++k) {
            volatile float sum = 0.0f;
            for (std::uint32_t i = 0; i < ch; ++i)
                sum = sum + samples[k * ch + i];
            volatile float x = sum / float(ch);
            volatile float t0 = b0 * x;
            volatile float t1 = b1 * x1;
            volatile float acc = t0 + t1;
            volatile float t2 = b2 * x2;
            acc = acc + t2;
            volatile float t3 = a1 * y1;
            acc = acc - t3;
            volatile float t4 = a2 * y2;
            acc = acc - t4;
            const float y = acc;
            x2 = x1;
            x1 = x;
            y2 = y1;
            y1 = y;
            volatile float square = y * y;
            sumSquares = sumSquares + square;
            ++frames;
        }
        volatile float meanSquare = sumSquares / float(frames);
        const float bass = std::sqrt(float(meanSquare));
        const float previous = average;
        volatile float fresh = bass * 0.1f;
        volatile float kept = previous * 0.9f;
        average = fresh + kept;
        return {bass, previous};
    }
};

// A straightforward double-precision cookbook low-pass at 120 Hz, Q = 0.707.
struct TextbookBiquad {
    double b0, b1, b2, a1, a2, x1 = 0, x2 = 0, y1 = 0, y2 = 0;

    explicit TextbookBiquad(double sr)
    {
        const double w0 = 2.0 * std::numbers::pi * 120.0 / sr;
        const double alpha = std::sin(w0) / (2.0 * 0.707);
        const double a0 = 1.0 + alpha;
        b0 = (1.0 - std::cos(w0)) / 2.0 / a0;
        b1 = (1.0 - std::cos(w0)) / a0;
        b2 = b0;
        a1 = -2.0 * std::cos(w0) / a0;
        a2 = (1.0 - alpha) / a0;
    }

    double blockRms(const std::vector<float>& mono)
    {
        double sum = 0;
        for (float v : mono) {
            const double y = b0 * v + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
            x2 = x1;
            x1 = v;
            y2 = y1;
            y1 = y;
            sum += y * y;
        }
        return std::sqrt(sum / double(mono.size()));
    }
};

std::uint32_t bits(float v)
{
    return std::bit_cast<std::uint32_t>(v);
}

// The floats of a value as their bits, so that equality is to the bit: a signed zero or a NaN's
// payload counts, and a failure prints each one.
template <typename T> auto bitsOf(const T& value)
{
    return std::bit_cast<std::array<std::uint32_t, sizeof(T) / sizeof(float)>>(value);
}

// History and average, to the bit.
struct State {
    BassDetector::History history;
    float average;
};
auto stateOf(const BassDetector& d)
{
    return bitsOf(State{d.history(), d.average()});
}
auto stateOf(const ReferenceDetector& r)
{
    return bitsOf(State{{r.x1, r.x2, r.y1, r.y2}, r.average});
}

} // namespace

TEST(BassDetectorTest, CoefficientsMatchTheStepByStepDesignBitForBit)
{
    for (float rate : {8000.0f, 22050.0f, 44100.0f, 48000.0f, 96000.0f, 192000.0f}) {
        const ReferenceDetector reference(rate);
        EXPECT_EQ(bitsOf(ready(rate).coefficients()),
                  bitsOf(BassDetector::Coefficients{reference.b0, reference.b1, reference.b2,
                                                    reference.a1, reference.a2}))
            << rate;
    }
}

TEST(BassDetectorTest, LevelsAndStateMatchTheStepByStepMeasurementBitForBit)
{
    BassDetector detector = ready(44100.0f);
    ReferenceDetector reference(44100.0f);
    unsigned seed = 7;
    // Stereo, mono, an odd channel count and block sizes that leave partial frames behind.
    for (std::uint32_t channels : {2u, 1u, 3u, 2u, 6u}) {
        for (std::size_t samples : {1024u, 7u, 1u, 513u, 4000u}) {
            const auto block = noise(samples, seed++);
            const auto got = feed(detector, block, channels);
            if (samples < channels) {
                EXPECT_FALSE(got);
                continue;
            }
            const auto want = reference.block(block, channels);
            ASSERT_TRUE(got);
            EXPECT_EQ(bits(got->bass), bits(want.first));
            EXPECT_EQ(bits(got->previousAverage), bits(want.second));
            EXPECT_EQ(stateOf(detector), stateOf(reference));
        }
    }
}

TEST(BassDetectorTest, AgreesWithADoublePrecisionTextbookBiquad)
{
    BassDetector detector = ready();
    TextbookBiquad textbook(kRate);
    std::vector<float> signal = sine(60.0, 48000);
    const auto hiss = noise(48000, 3);
    const auto hum = sine(1000.0, 48000);
    for (std::size_t i = 0; i < signal.size(); ++i)
        signal[i] = 0.5f * signal[i] + 0.3f * hiss[i] + 0.2f * hum[i];

    for (std::size_t start = 0; start < signal.size(); start += 480) {
        const std::vector<float> mono(signal.begin() + start, signal.begin() + start + 480);
        const auto got = feed(detector, stereo(mono), 2);
        const double want = textbook.blockRms(mono);
        ASSERT_TRUE(got);
        EXPECT_NEAR(got->bass, want, 1e-4 + 1e-3 * want) << "block at frame " << start;
    }
}

TEST(BassDetectorTest, SplittingTheSameAudioIntoOtherBlocksLeavesTheSameFilterHistory)
{
    const auto audio = noise(2 * 4096, 11);
    auto run = [&](const std::vector<std::size_t>& frameCounts) {
        BassDetector detector = ready();
        std::size_t frame = 0;
        for (std::size_t i = 0; frame < 4096; ++i) {
            const std::size_t count = std::min(frameCounts[i % frameCounts.size()], 4096 - frame);
            const std::vector<float> block(audio.begin() + 2 * frame,
                                           audio.begin() + 2 * (frame + count));
            feed(detector, block, 2);
            frame += count;
        }
        return detector.history();
    };
    const auto whole = run({4096});
    EXPECT_EQ(run({512}), whole);
    EXPECT_EQ(run({1}), whole);
    EXPECT_EQ(run({3, 700, 1, 129, 64}), whole);
    EXPECT_NE(whole.y1, 0.0f);
}

TEST(BassDetectorTest, SilenceGivesZeroAndPullsTheAverageATenthOfTheWayDown)
{
    BassDetector detector = ready();
    feed(detector, stereo(std::vector<float>(512, 0.5f)), 2);
    const float before = detector.average();
    ASSERT_GT(before, 0.0f);

    const auto level = feed(detector, std::vector<float>(1024, 0.0f), 2);
    ASSERT_TRUE(level);
    // The history still holds the step's ringing, so only settle to silence from a cleared one.
    detector.setUpFilter(kRate);
    const auto quiet = feed(detector, std::vector<float>(1024, 0.0f), 2);
    ASSERT_TRUE(quiet);
    EXPECT_EQ(quiet->bass, 0.0f);
    EXPECT_EQ(bits(detector.average()), bits(0.0f * 0.1f + quiet->previousAverage * 0.9f));
    EXPECT_LT(detector.average(), quiet->previousAverage);
}

// Zero channels read as one, a trailing partial frame ignored, and only the first buffer of a
// block measured: each block measures, to the bit, as its plain equivalent does.
TEST(BassDetectorTest, OddBlocksMeasureAsTheirPlainEquivalent)
{
    const auto a = noise(256, 1), b = noise(256, 2);
    const std::vector<float> seven{0.1f, 0.3f, -0.2f, 0.4f, 0.9f, 0.7f, 1.0f};
    const std::vector<float> six(seven.begin(), seven.begin() + 6);
    const struct {
        const char* name;
        std::vector<AudioBuffer> odd;
        AudioBuffer plain;
    } cases[] = {
        {"zero channels", {bufferOf(a, 0)}, bufferOf(a, 1)},
        {"partial frame", {bufferOf(seven, 2)}, bufferOf(six, 2)},
        {"two buffers", {bufferOf(a, 2), bufferOf(b, 2)}, bufferOf(a, 2)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BassDetector odd = ready(), plain = ready();
        const auto got = odd.process(c.odd);
        const auto want = plain.process({&c.plain, 1});
        ASSERT_TRUE(got && want);
        EXPECT_EQ(bits(got->bass), bits(want->bass));
        EXPECT_EQ(stateOf(odd), stateOf(plain));
    }
}

TEST(BassDetectorTest, UnusableBlocksChangeNothingAndReportNothing)
{
    BassDetector detector = ready();
    feed(detector, noise(200, 9), 2);
    const auto history = detector.history();
    const float average = detector.average();

    const std::vector<float> one{0.8f};
    const AudioBuffer shortBuffer = bufferOf(one, 2);
    const AudioBuffer nullData{2, 4096, nullptr};
    const AudioBuffer threeBytes{1, 3, one.data()};
    EXPECT_FALSE(detector.process({}));
    EXPECT_FALSE(detector.process({&shortBuffer, 1}));
    EXPECT_FALSE(detector.process({&nullData, 1}));
    EXPECT_FALSE(detector.process({&threeBytes, 1}));
    EXPECT_EQ(detector.history(), history);
    EXPECT_EQ(detector.average(), average);
}

TEST(BassDetectorTest, TheFirstReportCarriesAverageZeroAndTheSecondATenthOfTheFirstBass)
{
    BassDetector detector = ready();
    const auto first = feed(detector, stereo(sine(60.0, 512)), 2);
    const auto second = feed(detector, stereo(sine(60.0, 512, 512)), 2);
    ASSERT_TRUE(first && second);
    EXPECT_GT(first->bass, 0.01f);
    EXPECT_EQ(first->previousAverage, 0.0f);
    EXPECT_EQ(bits(second->previousAverage), bits(first->bass * 0.1f + 0.0f * 0.9f));
}

TEST(BassDetectorTest, ConstantInputPassesAtUnityGain)
{
    BassDetector detector = ready();
    std::optional<BassDetector::Level> level;
    for (int i = 0; i < 40; ++i)
        level = feed(detector, std::vector<float>(1024, 0.5f), 2);
    ASSERT_TRUE(level);
    EXPECT_NEAR(level->bass, 0.5f, 1e-3f);
}

// 512 frames are 0.64 of a 60 Hz period, so single blocks swing between about 0.62 and 0.75;
// the settled mean is the filter's true response to 60 Hz, about 0.686.
TEST(BassDetectorTest, ASixtyHertzSineSettlesNearTheFiltersResponse)
{
    BassDetector detector = ready();
    double sum = 0;
    int counted = 0;
    for (int block = 0; block < 400; ++block) {
        const auto level = feed(detector, stereo(sine(60.0, 512, 512 * block)), 2);
        ASSERT_TRUE(level);
        if (block < 40)
            continue;
        EXPECT_GT(level->bass, 0.60f) << block;
        EXPECT_LT(level->bass, 0.77f) << block;
        sum += level->bass;
        ++counted;
    }
    const double mean = sum / counted;
    EXPECT_NEAR(mean, 0.686, 0.686 * 0.03);
    // The running average converges on the same figure.
    EXPECT_NEAR(detector.average(), mean, 0.05);
}

TEST(BassDetectorTest, ATwoKilohertzSineIsAlmostGoneOnceTheFilterHasSettled)
{
    BassDetector detector = ready();
    for (int block = 0; block < 100; ++block) {
        const auto level = feed(detector, stereo(sine(2000.0, 512, 512 * block)), 2);
        ASSERT_TRUE(level);
        if (block >= 4) {
            EXPECT_LT(level->bass, 0.003f) << block;
        }
    }
}

TEST(BassDetectorTest, RedesigningClearsTheHistoryButKeepsTheAverage)
{
    BassDetector detector = ready();
    feed(detector, stereo(sine(60.0, 2048)), 2);
    const float average = detector.average();
    ASSERT_NE(detector.history(), BassDetector::History{});

    detector.setUpFilter(44100.0f);
    EXPECT_EQ(detector.history(), BassDetector::History{});
    EXPECT_EQ(detector.average(), average);
}

// A capture pauses a few milliseconds after the player does, while the filter still rings from
// the last sound; the skipped silence must carry that ringing into the average as the measured
// silence would. Every count of silent blocks is checked, through the ringing, the settling and
// the average's decay to its fixed point, at rates whose filters ring for different lengths.
TEST(BassDetectorTest, SkippedSilenceMovesTheAverageAsMeasuredSilenceWould)
{
    for (const auto& [rate, longest] :
         {std::pair{48000.0f, 10000u}, std::pair{8000.0f, 400u}, std::pair{192000.0f, 400u}}) {
        BassDetector playing = ready(rate);
        for (int block = 0; block < 40; ++block) {
            std::vector<float> tone(512);
            for (std::size_t i = 0; i < tone.size(); ++i)
                tone[i] = float(std::sin(2.0 * std::numbers::pi * 60.0 *
                                         double(512 * block + int(i)) / double(rate)));
            feed(playing, stereo(tone), 2);
        }
        ASSERT_GT(std::fabs(playing.history().y1), 1e-3f) << rate << " Hz: not ringing";

        BassDetector measured = playing;
        const std::vector<float> silence(512 * 2, 0.0f);
        for (std::uint32_t blocks = 1; blocks <= longest; ++blocks) {
            feed(measured, silence, 2);
            BassDetector skipped = playing;
            skipped.skipSilence(blocks);
            // The average is what the next kick is judged against.
            ASSERT_EQ(stateOf(skipped), stateOf(measured))
                << rate << " Hz, " << blocks << " blocks";
        }
        EXPECT_EQ(measured.history(), BassDetector::History{}) << rate << " Hz: still ringing";
    }
}

// One sample that is not a finite number restarts the filter and the average as construction
// leaves them: silence after it, measured or skipped, ends the same, and the next kick is measured
// to the bit as a fresh detector measures it, so beats are found again.
TEST(BassDetectorTest, ANonFiniteSampleRestartsTheDetectorAndTheNextKickCounts)
{
    for (float bad :
         {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
          -std::numeric_limits<float>::infinity()}) {
        BassDetector measured = ready();
        feed(measured, stereo(sine(60.0, 2048)), 2);
        std::vector<float> damaged = stereo(sine(60.0, 512));
        damaged[301] = bad;
        feed(measured, damaged, 2);
        EXPECT_EQ(measured.history(), BassDetector::History{}) << bad;
        EXPECT_EQ(bits(measured.average()), bits(0.0f)) << bad;

        BassDetector skipped = measured;
        for (int block = 0; block < 3; ++block)
            feed(measured, std::vector<float>(1024, 0.0f), 2);
        skipped.skipSilence(3);
        EXPECT_EQ(stateOf(skipped), stateOf(measured)) << bad;

        BassDetector fresh = ready();
        const std::vector<float> kick = stereo(sine(55.0, 512));
        const auto got = feed(measured, kick, 2);
        const auto want = feed(fresh, kick, 2);
        ASSERT_TRUE(got && want);
        EXPECT_EQ(bits(got->bass), bits(want->bass)) << bad;
        EXPECT_EQ(bits(got->previousAverage), bits(0.0f)) << bad;
        EXPECT_GT(got->bass, 0.1f);
    }
}

TEST(BassDetectorTest, DigitalSilenceAfterSoundReportsTheStepByStepLevelsBitForBit)
{
    // Kicks cut off into exact zeros, at rates whose filters decay at different speeds: the
    // reference lets its history sink into subnormals, the detector settles it once spent.
    for (float rate : {8000.0f, 48000.0f, 192000.0f}) {
        BassDetector detector = ready(rate);
        ReferenceDetector reference(rate);
        bool settled = false;
        for (int kick = 0; kick < 3; ++kick) {
            std::vector<float> sound = stereo(sine(55.0, 700));
            for (std::size_t i = 0; i < sound.size(); ++i)
                sound[i] *= std::exp(-float(i) / 400.0f);
            for (int block = 0; block < 80; ++block) {
                std::vector<float> samples(512 * 2, 0.0f);
                if (block == 0)
                    std::copy(sound.begin(), sound.begin() + 1024, samples.begin());
                if (block == 1)
                    std::copy(sound.begin() + 1024, sound.end(), samples.begin());
                const auto got = feed(detector, samples, 2);
                const auto want = reference.block(samples, 2);
                ASSERT_TRUE(got);
                EXPECT_EQ(bits(got->bass), bits(want.first)) << rate << " block " << block;
                EXPECT_EQ(bits(got->previousAverage), bits(want.second));
                settled = settled ||
                          (detector.history() == BassDetector::History{} && reference.y1 != 0.0f);
            }
        }
        EXPECT_TRUE(settled) << rate << ": the silence never reached the spent history";
    }
}
