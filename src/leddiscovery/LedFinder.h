#pragma once

#include "leddiscovery/LedDevice.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Picks the LED to drive under an LED class folder (/sys/class/leds): the one the user named,
// else a lid-logo LED, else a keyboard backlight.
class LedFinder {
public:
    // Why an LED is taken, in the order the rules are tried.
    enum class Rule {
        named,             // BEAMWICK_LED names it
        lidLogo,           // its name contains "lid_logo"
        logo,              // its name contains "logo"
        keyboardBacklight, // its name ends in "::kbd_backlight"
        none,              // named like none of these
    };

    explicit LedFinder(std::filesystem::path root);

    // The rule a name matches first, leaving BEAMWICK_LED aside.
    static Rule ruleOf(std::string_view name);

    // `requested` is the user's choice (BEAMWICK_LED) or null. A choice that is not a safe
    // name of a usable LED is passed over, and the usual order applies.
    std::optional<LedDevice> find(const char* requested) const;

    // A plain directory entry name: nothing that could step out of the LED class folder.
    static bool isSafeName(std::string_view name);

    // Why find() passes over `requested`, in words for the user; nothing when it would take it.
    std::optional<std::string> whyPassedOver(const char* requested) const;

    // Every usable LED that a rule would take, in the order the rules try them.
    std::vector<std::string> candidates() const;

    // Every safe entry name of the folder, sorted: the order names are tried in.
    std::vector<std::string> names() const;

    // Every name of `names` a rule takes, in the rules' order, usable or not.
    static std::vector<std::string> ruleOrder(const std::vector<std::string>& names);

private:
    std::filesystem::path m_root;
};
