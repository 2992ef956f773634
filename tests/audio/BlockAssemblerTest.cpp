#include "audio/BlockAssembler.h"

#include "audio/BassDetector.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <random>
#include <utility>
#include <vector>

TEST(BlockAssemblerTest, AnyChunkingGivesTheLevelsOfWhole512FrameBlocksBitForBit)
{
    // Three seconds of stereo bass, hats and noise, with holes that stand for silence.
    constexpr std::uint32_t kChannels = 2;
    std::mt19937 random(7);
    std::uniform_real_distribution<float> noise(-0.3f, 0.3f);
    std::vector<float> samples(48000 * 3 * kChannels);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = 0.6f * std::sin(float(i / kChannels) * 0.0072f) + noise(random);

    struct Chunk {
        std::size_t firstFrame, frames;
        bool hole;
    };
    std::vector<Chunk> chunks;
    std::uniform_int_distribution<std::size_t> size(1, 2000);
    for (std::size_t frame = 0; frame < samples.size() / kChannels;) {
        const std::size_t frames = std::min(size(random), samples.size() / kChannels - frame);
        chunks.push_back({frame, frames, random() % 9 == 0});
        frame += frames;
    }
    // The reference sees the holes as the zeros they stand for.
    std::vector<float> heard = samples;
    for (const Chunk& chunk : chunks)
        if (chunk.hole)
            std::fill_n(heard.begin() + chunk.firstFrame * kChannels, chunk.frames * kChannels,
                        0.0f);

    BassDetector reference;
    reference.setUpFilter(48000.0f);
    std::vector<std::pair<std::uint32_t, std::uint32_t>> expected;
    constexpr std::size_t kBlock = BlockAssembler::blockFrames * kChannels;
    for (std::size_t at = 0; at + kBlock <= heard.size(); at += kBlock) {
        const AudioBuffer block{kChannels, kBlock * 4, heard.data() + at};
        const auto level = reference.process({&block, 1});
        expected.emplace_back(std::bit_cast<std::uint32_t>(level->bass),
                              std::bit_cast<std::uint32_t>(level->previousAverage));
    }

    BassDetector detector;
    detector.setUpFilter(48000.0f);
    BlockAssembler assembler;
    assembler.reset(kChannels);
    std::vector<std::pair<std::uint32_t, std::uint32_t>> measured;
    for (const Chunk& chunk : chunks) {
        const float* data = chunk.hole ? nullptr : samples.data() + chunk.firstFrame * kChannels;
        assembler.append(data, chunk.frames * kChannels * 4, [&](const AudioBuffer& block) {
            EXPECT_EQ(block.dataByteSize, kBlock * 4);
            const auto level = detector.process({&block, 1});
            measured.emplace_back(std::bit_cast<std::uint32_t>(level->bass),
                                  std::bit_cast<std::uint32_t>(level->previousAverage));
        });
    }
    EXPECT_GT(expected.size(), 250u);
    EXPECT_EQ(measured, expected);
    EXPECT_EQ(assembler.pendingBytes(), (heard.size() % kBlock) * 4) << "the tail waits";

    // Completed with silence, the tail is the block that the same audio followed by zeros
    // would have filled.
    const std::size_t tail = heard.size() % kBlock;
    ASSERT_NE(tail, 0u);
    std::vector<float> padded(heard.end() - long(tail), heard.end());
    padded.resize(kBlock, 0.0f);
    const AudioBuffer last{kChannels, kBlock * 4, padded.data()};
    const auto want = reference.process({&last, 1});
    std::vector<std::pair<std::uint32_t, std::uint32_t>> completed;
    const std::uint32_t silence = assembler.completeWithSilence([&](const AudioBuffer& block) {
        const auto level = detector.process({&block, 1});
        completed.emplace_back(std::bit_cast<std::uint32_t>(level->bass),
                               std::bit_cast<std::uint32_t>(level->previousAverage));
    });
    EXPECT_EQ(silence, (kBlock - tail) / kChannels);
    EXPECT_EQ(completed,
              (std::vector{std::pair{std::bit_cast<std::uint32_t>(want->bass),
                                     std::bit_cast<std::uint32_t>(want->previousAverage)}}));
    EXPECT_EQ(assembler.pendingBytes(), 0u);
    EXPECT_EQ(assembler.completeWithSilence([&](const AudioBuffer&) { ADD_FAILURE(); }), 0u)
        << "nothing begun, nothing to complete";
}
