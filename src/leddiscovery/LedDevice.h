#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// One LED class device: a directory with brightness, max_brightness and usually trigger.
class LedDevice {
public:
    // The LED named `name` under `root`, or nothing when it lacks a readable brightness or a
    // max_brightness of at least 1. The name must already have been checked by LedFinder.
    static std::optional<LedDevice> open(const std::filesystem::path& root,
                                         const std::string& name);

    const std::string& name() const { return m_name; }
    const std::filesystem::path& directory() const { return m_directory; }
    unsigned maxBrightness() const { return m_maxBrightness; }
    std::filesystem::path attribute(const char* attributeName) const;

    bool isPresent() const;
    std::optional<unsigned> brightness() const;
    // The active trigger, the bracketed entry of the trigger attribute ("none" included).
    std::optional<std::string> trigger() const;
    bool setTrigger(const std::string& trigger) const;
    // Every trigger the LED offers, without the brackets around the active one.
    std::vector<std::string> availableTriggers() const;

    // brightness_hw_changed, where the kernel reports the firmware's own changes (a hotkey).
    std::optional<std::filesystem::path> hardwareChangeAttribute() const;
    // The brightness the firmware set last; nothing until it has set one (or without the
    // attribute).
    std::optional<unsigned> lastHardwareChange() const;
    // The brightness the firmware set last, else the brightness shown now.
    std::optional<unsigned> hardwareChangedBrightness() const;

    // The active trigger a trigger attribute's text shows, and every trigger it offers.
    static std::optional<std::string> activeTrigger(const std::string& text);
    static std::vector<std::string> triggerNames(const std::string& text);

private:
    LedDevice(std::filesystem::path directory, std::string name, unsigned maxBrightness);

    std::filesystem::path m_directory;
    std::string m_name;
    unsigned m_maxBrightness;
};
