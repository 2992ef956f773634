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
        samples[2 * i + 1] = -value;
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

} // namespace

BENCHMARK(measureBlocks)->Name("BassDetector/512 stereo frames at 48 kHz");

BENCHMARK_MAIN();
