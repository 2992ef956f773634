#pragma once

#include <cstdlib>

// A fuzzer's assertion: libFuzzer keeps the input of any run that aborts.
inline void require(bool condition)
{
    if (!condition)
        std::abort();
}
