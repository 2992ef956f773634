#pragma once

#include <cstdint>

// One buffer of a delivered block of audio: interleaved 32-bit float samples, frame by frame.
// The capture hands a list of these per block; only the first one is measured.
struct AudioBuffer {
    std::uint32_t numberChannels = 0;
    std::uint32_t dataByteSize = 0;
    const void* data = nullptr;
};
