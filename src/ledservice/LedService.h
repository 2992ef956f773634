#pragma once

#include "leddiscovery/LedDevice.h"
#include "ledservice/FactoryTable.h"
#include "ledservice/LedWriter.h"
#include "ledservice/LevelMapping.h"
#include "ledservice/SwitchMemory.h"
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
// A table that says the LED was off then knows no brightness of the user's: an LED found lit
// by someone else since (its own key, another program) keeps the brightness found as level 1.0.
// The factory table handed back whole puts the factory brightness and trigger back on an LED
// that is on, and leaves an LED that is off dark. A whole table of another LED tells nothing
// about this one.
//
// The LED is on when it shows a step above 0, or when it shows the step 0 that Beamwick last
// wrote while holding it on, also in an earlier process that ended without quitting
// (SwitchMemory). Before its first write while on, the service sets the LED's trigger to none,
// since an active trigger would keep driving the LED.
//
// Where the firmware changes the brightness itself (a hotkey), the caller watches the file that
// the hardware change attribute names and, on a change, writes the hardware brightness change:
// the brightness the firmware set becomes the factory brightness (0 switches the LED off). The
// desktop's own control of the keyboard light is taken the same way.
class LedService {
public:
    // Long enough for logind to fork its writer, short enough that a stuck one goes unnoticed.
    static constexpr std::chrono::milliseconds defaultLogindTimeout{50};

    // The service on `device`, writing through logind and else sysfs, with its notes in
    // `memoryFile` (none when empty).
    static std::unique_ptr<LedService> open(LedDevice device,
                                            std::chrono::milliseconds logindTimeout,
                                            const std::filesystem::path& memoryFile);

    // Writers are tried in order until one takes the value.
    LedService(LedDevice device, std::vector<std::unique_ptr<LedWriter>> writers,
               SwitchMemory memory = SwitchMemory());

    std::optional<PropertyValue> get(std::string_view key) const;
    bool set(const PropertyValue& value, std::string_view key);

private:
    bool setBacklightMode(const PropertyValue& value);
    bool setTable(const PropertyValue& value);
    bool setFollowTau(const PropertyValue& value);
    bool adoptHardwareChange(const PropertyValue& value);
    bool adoptDesktopChange(const PropertyValue& value);
    // A brightness someone chose for the LED: its new factory brightness, or off at 0. Every key
    // pressed before it counts as seen.
    void adoptBrightness(unsigned brightness);
    void learnFactory(const FactoryTable::Table& table);
    void setFactoryBrightness(unsigned found);
    bool handBack();
    bool restoreTrigger();
    bool detachTrigger();
    // A step written while the LED is on; show() writes any step.
    bool light(unsigned brightness);
    bool show(unsigned brightness);
    // The firmware's last change as a note keeps it: a number, or "-" for none yet.
    std::string hardwareMark() const;
    void remember(bool dark);
    void forget();

    LedDevice m_device;
    std::vector<std::unique_ptr<LedWriter>> m_writers;
    SwitchMemory m_memory;
    // What the note says now: nothing, or whether the step shown last is 0.
    std::optional<bool> m_remembered;
    // The brightness someone other than Beamwick lit the LED at: found at load, or noted by a
    // Beamwick that ended without quitting. Level 1.0 where the tables say it was found off.
    std::optional<unsigned> m_litByOthersAt;
    // The factory state as far as known: found at load until a table or the firmware says.
    unsigned m_factoryFound;
    std::optional<double> m_factoryTrigger;
    double m_ledCode;
    // After a hotkey the user's choice stands over what the tables carry.
    bool m_factoryChosenByUser = false;
    // The firmware's mark of the last brightness key this service has taken in.
    std::string m_keySeen;
    LevelMapping m_mapping;
    bool m_on;
    bool m_triggerDetached = false;
    double m_level = 1.0;
    double m_followTau = 0.0;
};
