// How fast the detector measures system audio: 512-frame stereo blocks at 48 kHz, the shape
// the capture hands over. Prints frames per second and the multiple of real time.
#include "audio/BassDetector.h"

#include <benchmark/benchmark.h>
#include <cmath>
#include <numbers>
#include <vector>

namespace {

constexpr float kRate = 48000.0f;
constexpr std::size_t kFrames = 512;
constexpr std::uint32_t kChannels = 2;

void measureBlocks(benchmark::State& state)
{
    std::vector<float> samples(kFrames * kChannels);
    for (std::size_t i = 0; i < kFrames; ++i) {
        const float t = static_cast<float>(i) / kRate;
        const float value = 0.6f * std::sin(2.0f * std::numbers::pi_v<float> * 55.0f * t) +
                            0.3f * std::sin(2.0f * std::numbers::pi_v<float> * 3000.0f * t);
        samples[2 * i] = value;
        samples[2 * i + 1] = value;
    }
    const AudioBuffer buffer{kChannels, static_cast<std::uint32_t>(samples.size() * sizeof(float)),
                             samples.data()};

    BassDetector detector;
    detector.setUpFilter(kRate);
    for (auto _ : state) {
        auto level = detector.process({&buffer, 1});
        benchmark::DoNotOptimize(level);
    }

    const double frames = static_cast<double>(state.iterations()) * kFrames;
    state.counters["frames/s"] = benchmark::Counter(frames, benchmark::Counter::kIsRate);
    // Seconds of audio measured per second of work.
    state.counters["x realtime"] = benchmark::Counter(frames / kRate, benchmark::Counter::kIsRate);
}

// A kick every half second and digital silence between: what a drum track or a paused player's
// open stream gives. The filter's history decays towards zero in the pauses.
void measureKicksAndSilence(benchmark::State& state)
{
    const std::size_t period = 24576; // 48 blocks, just over half a second
    std::vector<float> track(period * kChannels, 0.0f);
    for (std::size_t i = 0; i < 4800; ++i) {
        const float t = static_cast<float>(i) / kRate;
        const float value =
            0.8f * std::exp(-t * 30.0f) * std::sin(2.0f * std::numbers::pi_v<float> * 55.0f * t);
        track[2 * i] = value;
        track[2 * i + 1] = value;
    }
    BassDetector detector;
    detector.setUpFilter(kRate);
    std::size_t block = 0;
    for (auto _ : state) {
        const AudioBuffer buffer{kChannels, kFrames * kChannels * sizeof(float),
                                 track.data() + block * kFrames * kChannels};
        auto level = detector.process({&buffer, 1});
        benchmark::DoNotOptimize(level);
        block = (block + 1) % (period / kFrames);
    }
    const double frames = static_cast<double>(state.iterations()) * kFrames;
    state.counters["frames/s"] = benchmark::Counter(frames, benchmark::Counter::kIsRate);
    state.counters["x realtime"] = benchmark::Counter(frames / kRate, benchmark::Counter::kIsRate);
}

} // namespace

BENCHMARK(measureBlocks)->Name("BassDetector/512 stereo frames at 48 kHz");
BENCHMARK(measureKicksAndSilence)->Name("BassDetector/kicks and digital silence");

BENCHMARK_MAIN();
