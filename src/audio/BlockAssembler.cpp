#include "audio/BlockAssembler.h"

#include <cstring>

void BlockAssembler::reset(std::uint32_t channels)
{
    m_channels = channels == 0 ? 1 : channels;
    m_block.assign(std::size_t{blockFrames} * m_channels * sizeof(float), 0);
    m_filled = 0;
}

void BlockAssembler::copyIn(const void* data, std::size_t bytes) noexcept
{
    unsigned char* to = m_block.data() + m_filled;
    if (data)
        std::memcpy(to, data, bytes);
    else
        std::memset(to, 0, bytes);
    m_filled += bytes;
}
