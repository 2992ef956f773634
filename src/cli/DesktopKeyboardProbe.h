#pragma once

#include <QString>
#include <chrono>

// The desktop's control of the keyboard light, as `beamwick --status` tells of it: whether UPower
// is on the system bus, and the highest brightness of the keyboard light it serves.
class DesktopKeyboardProbe {
public:
    struct Result {
        bool answers = false;
        // 0 when UPower serves no keyboard light.
        int maxBrightness = 0;
    };

    // Asks UPower on the system bus, waiting at most `timeout`.
    static Result ask(std::chrono::milliseconds timeout);
};
