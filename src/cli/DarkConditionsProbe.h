#pragma once

#include <chrono>
#include <optional>

// What `beamwick --status` tells of the conditions that hold the light dark: the lid and the
// session's lock as logind says them, the power supply as UPower does; none for one nobody on the
// system bus answers for.
class DarkConditionsProbe {
public:
    struct Result {
        std::optional<bool> lidClosed;
        std::optional<bool> locked;
        std::optional<bool> onBattery;
    };

    // Asks each on the system bus, waiting at most `timeout` for each.
    static Result ask(std::chrono::milliseconds timeout);
};
