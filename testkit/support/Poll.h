#pragma once

#include <chrono>
#include <functional>
#include <thread>

// Asks done() every `every` until it holds or `bound` has passed; whether it held. Turns no event
// loop: for watching another process, or the files it writes.
inline bool pollUntil(const std::function<bool()>& done, std::chrono::milliseconds bound,
                      std::chrono::milliseconds every = std::chrono::milliseconds(2))
{
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(every);
    }
    return true;
}
