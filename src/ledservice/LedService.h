#pragma once

#include "ledservice/FactoryTable.h"
#include "ledservice/LedDevice.h"
#include "ledservice/LedWriter.h"
#include "ledservice/LevelMapping.h"
#include "serviceabi/PropertyValue.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One client of the service: the brightness service properties (ServiceContract) served on one
// LED.
//
// The backlight mode switches the LED; the table reports the factory table and takes scaled
// copies of it as levels (LevelMapping); the follow time constant is kept and read back but
// not used, since the controller already shapes every fade and an LED class device has no
// smoothing of its own to configure.
//
// Level 1.0 is the factory brightness: the brightness the tables written to the service say the
// LED had before Beamwick first touched it (FactoryTable), and only where they do not say (a
// table saved by an earlier version, nothing written yet) the brightness found at load. So a
// run that ended without quitting, at a dim moment, does not make the dim step the factory's.
// The factory table handed back whole puts the factory brightness and trigger back on an LED
// that is on, and leaves an LED that is off dark.
//
// Where the firmware changes the brightness itself (a hotkey), the caller watches the file that
// the hardware change attribute names and, on a change, writes the hardware brightness change:
// the brightness the firmware set becomes the factory brightness (0 switches the LED off).
class LedService {
public:
    // Long enough for logind to fork its writer, short enough that a stuck one goes unnoticed.
    static constexpr std::chrono::milliseconds defaultLogindTimeout{50};

    // The service on the LED that LedFinder picks under `root`, writing through logind and
    // else sysfs; nothing when there is no usable LED.
    static std::unique_ptr<LedService> open(const std::filesystem::path& root,
                                            const char* requestedLed,
                                            std::chrono::milliseconds logindTimeout);

    // Writers are tried in order until one takes the value.
    LedService(LedDevice device, std::vector<std::unique_ptr<LedWriter>> writers);

    std::optional<PropertyValue> get(std::string_view key) const;
    bool set(const PropertyValue& value, std::string_view key);

private:
    bool setBacklightMode(const PropertyValue& value);
    bool setTable(const PropertyValue& value);
    bool setFollowTau(const PropertyValue& value);
    bool adoptHardwareChange(const PropertyValue& value);
    void learnFactory(const FactoryTable::Table& table);
    void setFactoryBrightness(unsigned found);
    bool handBack();
    bool restoreTrigger();
    bool show(unsigned brightness);

    LedDevice m_device;
    std::vector<std::unique_ptr<LedWriter>> m_writers;
    // The factory state as far as known: found at load until a table or the firmware says.
    unsigned m_factoryFound;
    std::optional<double> m_factoryTrigger;
    // After a hotkey the user's choice stands over what the tables carry.
    bool m_factoryChosenByUser = false;
    LevelMapping m_mapping;
    bool m_on;
    double m_level = 1.0;
    double m_followTau = 0.0;
};
