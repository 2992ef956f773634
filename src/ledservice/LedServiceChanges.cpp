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
    m_keySeen = hardwareMark();
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
    // The desktop's control serves one keyboard light; a light of another range, or one still
    // showing what Beamwick wrote last rather than the desktop's brightness, is not the one it set.
    if (brightness < 0 || brightness > max || max != std::int64_t{m_device.maxBrightness()})
        return false;
    const auto now = m_device.brightness();
    if (!now || (std::int64_t{*now} != brightness && m_shown == now))
        return false;
    adoptBrightness(static_cast<unsigned>(brightness));
    return true;
}

void LedService::adoptBrightness(unsigned brightness)
{
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
    // Noted afresh with the firmware's new mark, or the next start would doubt the note.
    m_remembered.reset();
    remember(false);
}
