#pragma once

#include "serviceabi/ServiceContract.h"

// The values the panel's sliders produce. The controller takes settings as they come; these are
// the bounds every writer from outside the controller (the panel, the bus, the command line)
// keeps to.
struct SettingRange {
    double low;
    double high;
};

namespace setting_ranges {

// Up to the highest level a light is driven at.
inline constexpr SettingRange brightness{0.05, ServiceContract::topLevel};
inline constexpr SettingRange breatheSeconds{2.0, 12.0};
inline constexpr SettingRange sensitivity{0.5, 3.0};

} // namespace setting_ranges
