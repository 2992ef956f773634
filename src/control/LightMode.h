#pragma once

#include <QString>
#include <array>
#include <optional>

enum class LightMode { steady, breathe, music };

// Every mode, in the order the panel shows them.
inline constexpr std::array<LightMode, 3> allLightModes{LightMode::steady, LightMode::breathe,
                                                        LightMode::music};

// "Steady", "Breathe" or "Music": the mode's identity, its text and its stored form.
QString rawValue(LightMode mode);
// Only an exact, case-sensitive raw value gives a mode.
std::optional<LightMode> lightModeFromRawValue(const QString& raw);
