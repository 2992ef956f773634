#pragma once

#include "serviceabi/service_abi.h"

#include <cstdint>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

// Turns fuzzer bytes into bw_value trees of any shape: integers, reals (including NaN and
// infinities), strings, and arrays nested a few levels, in whatever mix the bytes say.
class ValueDecoder {
public:
    ValueDecoder(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

    bool done() const { return m_pos >= m_size; }

    std::uint8_t byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }

    const bw_value* value()
    {
        m_arrays.clear();
        m_strings.clear();
        m_root = decode(0);
        return &m_root;
    }

private:
    template <typename T> T read()
    {
        T out{};
        const std::size_t n = std::min(sizeof(T), m_size - std::min(m_pos, m_size));
        std::memcpy(&out, m_data + m_pos, n);
        m_pos += n;
        return out;
    }

    bw_value decode(int depth)
    {
        bw_value v{};
        const std::uint8_t tag = byte();
        switch (tag % 5) {
        case 0:
            v.kind = BW_VALUE_INTEGER;
            v.integer = read<std::int64_t>();
            break;
        case 1:
            v.kind = BW_VALUE_REAL;
            v.real = read<double>();
            break;
        case 2:
            v.kind = BW_VALUE_STRING;
            v.string = m_strings.emplace_back(static_cast<std::size_t>(byte() % 16), 'x').c_str();
            break;
        default: {
            v.kind = BW_VALUE_ARRAY;
            const std::size_t count = depth < 4 ? byte() % 24 : 0;
            auto& items = m_arrays.emplace_back();
            items.reserve(count);
            for (std::size_t i = 0; i < count && !done(); ++i)
                items.push_back(decode(depth + 1));
            v.count = items.size();
            v.items = items.data();
            break;
        }
        }
        // A kind the interface does not know, now and then.
        if (tag == 0xff)
            v.kind = 77;
        return v;
    }

    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
    bw_value m_root{};
    std::deque<std::vector<bw_value>> m_arrays;
    std::deque<std::string> m_strings;
};
