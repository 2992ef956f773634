#pragma once

#include "ledservice/LedDevice.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Picks the LED to drive under an LED class folder (/sys/class/leds): the one the user named,
// else a lid-logo LED, else a keyboard backlight.
class LedFinder {
public:
    explicit LedFinder(std::filesystem::path root);

    // `requested` is the user's choice (BEAMWICK_LED) or null. A choice that is not a safe
    // name of a usable LED is passed over, and the usual order applies.
    std::optional<LedDevice> find(const char* requested) const;

    // A plain directory entry name: nothing that could step out of the LED class folder.
    static bool isSafeName(std::string_view name);

    // Why find() passes over `requested`, in words for the user; nothing when it would take it.
    std::optional<std::string> whyPassedOver(const char* requested) const;

private:
    std::vector<std::string> names() const;

    std::filesystem::path m_root;
};
