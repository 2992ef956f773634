#pragma once

#include "audio/AudioBuffer.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Gathers the sound server's chunks, which come in any size from one frame up, into blocks of
// exactly `blockFrames` frames. The detector's running average and beat timings were tuned for
// fixed blocks of that length; fed chunks of a few milliseconds, the average would move several
// times as fast as intended and short noise would read as bass. A hole in the stream counts as
// silence of its length, so block boundaries stay true to stream time.
class BlockAssembler {
public:
    static constexpr std::uint32_t blockFrames = 512;

    // Frames of `channels` interleaved 32-bit floats. Drops any partial block. Allocates, so
    // call it while setting up, not on every chunk.
    void reset(std::uint32_t channels);
    // Appends `bytes` of samples, or of silence when `data` is null, and calls `whole` with
    // each block completed, in order. Allocates nothing.
    template <typename WholeBlock>
    void append(const void* data, std::size_t bytes, WholeBlock&& whole)
    {
        while (bytes > 0 && !m_block.empty()) {
            const std::size_t room = m_block.size() - m_filled;
            const std::size_t take = bytes < room ? bytes : room;
            copyIn(data, take);
            if (data)
                data = static_cast<const unsigned char*>(data) + take;
            bytes -= take;
            if (m_filled == m_block.size()) {
                m_filled = 0;
                whole(AudioBuffer{m_channels, static_cast<std::uint32_t>(m_block.size()),
                                  m_block.data()});
            }
        }
    }

    // Completes a partial block with silence and calls `whole` with it; returns the frames of
    // silence added, 0 when no block was begun. Allocates nothing.
    template <typename WholeBlock> std::uint32_t completeWithSilence(WholeBlock&& whole)
    {
        if (m_filled == 0)
            return 0;
        const std::size_t silence = m_block.size() - m_filled;
        append(nullptr, silence, whole);
        // A frame begun counts as received, not as silence.
        return static_cast<std::uint32_t>(silence / (std::size_t{m_channels} * sizeof(float)));
    }

    std::size_t pendingBytes() const { return m_filled; }

private:
    void copyIn(const void* data, std::size_t bytes) noexcept;

    // Bytes rather than floats: chunks need not end on a sample boundary.
    std::vector<unsigned char> m_block;
    std::size_t m_filled = 0;
    std::uint32_t m_channels = 0;
};
