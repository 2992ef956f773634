// Brightness set from outside Beamwick and taken as the user's: the firmware's own keys, and the
// desktop's control of the keyboard light.
#include "ledservice/LedService.h"

#include <cstdint>

bool LedService::adoptHardwareChange(const PropertyValue& value)
{
    if (!value.isNumber())
        return false;
    const auto brightness = m_device.hardwareChangedBrightness();
    if (!brightness)
        return false;
    adoptBrightness(*brightness);
    return true;
}

bool LedService::adoptDesktopChange(const PropertyValue& value)
{
    if (!value.isArray() || value.items().size() != 2 || !value.items()[0].isInteger() ||
        !value.items()[1].isInteger())
        return false;
    const auto brightness = value.items()[0].integerValue();
    const auto max = value.items()[1].integerValue();
    // The desktop's control serves one keyboard light; a light of another range is not the one
    // it set. What the LED shows now says nothing either way: the desktop may have set a newer
    // level since, which comes next, or Beamwick may have written over this one already. The
    // levels come in the order the desktop set them, so the last one taken is its latest.
    if (brightness < 0 || brightness > max || max != std::int64_t{m_device.maxBrightness()} ||
        !m_device.isPresent())
        return false;
    // A 0 heard after Beamwick wrote over it (set in a burst): put out, as the user had it. An
    // LED that cannot be put out stays on, and the change is refused. (A key's 0 needs neither:
    // the firmware has put the LED out itself.)
    if (brightness == 0 && m_device.brightness().value_or(0) > 0 && !show(0))
        return false;
    adoptBrightness(static_cast<unsigned>(brightness));
    return true;
}

void LedService::adoptBrightness(unsigned brightness)
{
    // Every key the firmware tells of came before this choice, also one not taken in yet (pressed
    // while the LED was away and unwatched): quitting or the next start must not trade the
    // user's latest word for that key's.
    m_keySeen = hardwareMark();
    // Switched off: the user's factory brightness is still the last one.
    if (brightness == 0) {
        m_on = false;
        forget();
        return;
    }
    m_factoryChosenByUser = true;
    setFactoryBrightness(brightness);
    m_on = true;
    m_level = 1.0;
    // Noted afresh with the firmware's new mark, or the next start would doubt the note. Dark if
    // the LED shows a dim step of Beamwick's (a desktop's level heard after Beamwick wrote over
    // it), as a write of that step would have noted it, for no later write need come.
    m_remembered.reset();
    remember(m_device.brightness().value_or(0) == 0);
}
