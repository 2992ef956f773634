#pragma once

#include "serviceabi/ServiceContract.h"

#include <QString>
#include <QStringView>

struct SettingRange {
    double low;
    double high;
};

// Every number the user sets, described once: the bus's properties, the command line's options
// and help, the panel's sliders and the settings file all take a number setting from here. The
// controller takes values as they come; the range is what every writer from outside it (the
// panel, the bus, the command line) keeps to.
struct NumberSetting {
    enum class Id { brightness, breatheSeconds, sensitivity, lightDelay };

    Id id;
    // The bus property, of type d.
    const char* property;
    // The command-line option without its dashes, and the unit its value is given in ("" for
    // none).
    const char* option;
    const char* unit;
    // What the option does, as its help says; the range follows (with a unit, in the text).
    const char* help;
    SettingRange range;
    double fallback;
    // Where the settings file keeps it: a number, or where perOutput an object of numbers by the
    // output's name.
    const char* key;
    bool perOutput;
};

namespace number_settings {

using Id = NumberSetting::Id;

inline constexpr NumberSetting brightness{Id::brightness,
                                          "Brightness",
                                          "brightness",
                                          "",
                                          "Set the brightness (1 is the factory's).",
                                          {0.05, ServiceContract::topLevel},
                                          1.0,
                                          "brightness",
                                          false};
inline constexpr NumberSetting breatheSeconds{Id::breatheSeconds,
                                              "BreatheSeconds",
                                              "breathe-seconds",
                                              "",
                                              "Set the length of one breath.",
                                              {2.0, 12.0},
                                              5.0,
                                              "breatheSeconds",
                                              false};
inline constexpr NumberSetting sensitivity{
    Id::sensitivity, "Sensitivity", "sensitivity", "",   "Set Music's sensitivity.",
    {0.5, 3.0},      1.5,           "sensitivity", false};
// Added to what the sound server says of the output, for outputs that say too little (Bluetooth).
inline constexpr NumberSetting lightDelay{
    Id::lightDelay,
    "LightDelay",
    "delay",
    "ms",
    "Show Music's flashes this much later (below 0, earlier) on the output heard now",
    {-200.0, 1000.0},
    0.0,
    "lightDelays",
    true};

inline constexpr NumberSetting all[] = {brightness, breatheSeconds, sensitivity, lightDelay};
inline constexpr std::size_t count = std::size(all);

// The setting of that bus property; nothing for any other name.
const NumberSetting* find(QStringView property);
// "0.05-8", as the command line's help and the bus's refusals print a range.
QString rangeText(const NumberSetting& setting);
// Within the range, and a number at all.
bool accepts(const NumberSetting& setting, double value);

} // namespace number_settings
