#pragma once

#include <optional>
#include <string>
#include <vector>

// One LED as the module reads it. The module's decisions read the LED through this alone, and
// never write it.
class LedReads {
public:
    virtual ~LedReads() = default;
    virtual bool isPresent() const = 0;
    virtual std::optional<unsigned> brightness() const = 0;
    // The active trigger ("none" included); nothing without a trigger attribute.
    virtual std::optional<std::string> trigger() const = 0;
    // Every trigger the LED offers.
    virtual std::vector<std::string> triggers() const = 0;
    // The brightness the firmware set last (brightness_hw_changed); nothing until it has set one,
    // or where the LED does not report it.
    virtual std::optional<unsigned> lastKey() const = 0;
};

// One LED's files and the ways of writing them: what the module's effects are carried out on.
class LedFiles : public LedReads {
public:
    virtual const std::string& name() const = 0;
    // Where notes about this LED are filed: its folder.
    virtual std::string noteKey() const = 0;
    virtual unsigned maxBrightness() const = 0;
    // The file that changes when the firmware sets the brightness itself; nothing where the LED
    // does not report it.
    virtual std::optional<std::string> keyFile() const = 0;
    // True when the LED took the step; false on an LED that has gone.
    virtual bool writeBrightness(unsigned step) = 0;
    virtual bool writeTrigger(const std::string& trigger) = 0;
};
