#include "ledservice/LedService.h"

#include "ledservice/LogindWriter.h"
#include "ledservice/SysfsWriter.h"
#include "serviceabi/ServiceContract.h"

#include <cmath>

namespace {

// The switch takes integers; a real number counts when it holds a whole value.
std::optional<bool> switchPosition(const PropertyValue& value)
{
    if (value.isInteger())
        return value.integerValue() != 0;
    if (value.isReal() && std::isfinite(value.doubleValue()) &&
        value.doubleValue() == std::trunc(value.doubleValue()))
        return value.doubleValue() != 0;
    return std::nullopt;
}

} // namespace

std::unique_ptr<LedService> LedService::open(LedDevice device,
                                             std::chrono::milliseconds logindTimeout,
                                             const std::filesystem::path& memoryFile)
{
    std::vector<std::unique_ptr<LedWriter>> writers;
    writers.push_back(std::make_unique<LogindWriter>(logindTimeout));
    writers.push_back(std::make_unique<SysfsWriter>());
    return std::make_unique<LedService>(std::move(device), std::move(writers),
                                        SwitchMemory(memoryFile));
}

LedService::LedService(LedDevice device, std::vector<std::unique_ptr<LedWriter>> writers,
                       SwitchMemory memory)
    : m_device(std::move(device)), m_writers(std::move(writers)), m_memory(std::move(memory)),
      m_factoryFound(m_device.brightness().value_or(0)),
      m_ledCode(FactoryTable::ledCode(m_device.name())),
      m_mapping(m_device.maxBrightness(), m_factoryFound), m_on(m_factoryFound > 0)
{
    // Read once: a key pressed while this runs must not make its decisions disagree.
    const auto lastKey = m_device.lastHardwareChange();
    m_keySeen = lastKey ? std::to_string(*lastKey) : "-";
    const auto trigger = m_device.trigger();
    if (trigger)
        m_factoryTrigger = FactoryTable::triggerCode(*trigger);

    // A note about this LED that the firmware has not overtaken: a Beamwick that ended without
    // quitting held it on, and whatever it shows is that Beamwick's doing.
    const auto note = m_memory.read(m_device.directory().string());
    if (note && note->hardwareMark == m_keySeen) {
        const unsigned shown = m_factoryFound;
        m_remembered = note->dark;
        // Dark as noted, it is still on. Dark with a lit note, someone switched it off since;
        // lit with a dark note, someone switched it on.
        if (note->dark && shown == 0)
            m_on = true;
        m_litByOthersAt = note->dark && shown > 0 ? std::optional(shown) : note->litByOthersAt;
        // The step shown is that Beamwick's leftover (a dim moment of a breath), and a trigger
        // of none its own detaching: neither is the user's. Without a table that says better,
        // the LED counts as found off, whose level 1.0 is what someone else lit it at, if known.
        if (!(note->dark && shown > 0))
            setFactoryBrightness(0);
        if (trigger == "none")
            m_factoryTrigger.reset();
    } else if (m_factoryFound > 0) {
        m_litByOthersAt = m_factoryFound;
        // Shown as the firmware last set it: a key pressed while Beamwick was not driving the
        // LED, which is how bright the user wants it now, whatever an earlier table says.
        m_factoryChosenByUser = lastKey == m_factoryFound;
    }
    // A key pressed since a Beamwick noted this LED, and seen by none (the LED was away while it
    // was driven): the brightness it set is how bright the user wants the LED, over any table.
    const unsigned keyed = lastKey.value_or(m_factoryFound);
    if (note && note->hardwareMark != m_keySeen && keyed > 0) {
        m_factoryChosenByUser = true;
        setFactoryBrightness(keyed);
    }
    if (m_factoryFound == 0 && m_litByOthersAt)
        m_mapping = LevelMapping(m_device.maxBrightness(), *m_litByOthersAt);
}

std::optional<PropertyValue> LedService::get(std::string_view key) const
{
    if (key == ServiceContract::backlightModeKey) {
        const auto brightness = m_device.brightness();
        if (!brightness)
            return std::nullopt;
        const bool heldDark = m_on && m_remembered == true && *brightness == 0;
        return PropertyValue::integer(*brightness > 0 || heldDark ? 1 : 0);
    }
    if (key == ServiceContract::tableKey) {
        if (!m_device.isPresent())
            return std::nullopt;
        return PropertyValue::table(
            FactoryTable(m_factoryFound, m_factoryTrigger, m_ledCode).rows());
    }
    if (key == ServiceContract::followTauKey)
        return PropertyValue::real(m_followTau);
    if (key == ServiceContract::hardwareBrightnessChangedKey)
        return PropertyValue::integer(m_factoryChosenByUser ? 1 : 0);
    if (key == ServiceContract::hardwareChangeAttributeKey) {
        if (const auto path = m_device.hardwareChangeAttribute())
            return PropertyValue::string(path->string());
        return std::nullopt;
    }
    return std::nullopt;
}

bool LedService::set(const PropertyValue& value, std::string_view key)
{
    if (key == ServiceContract::backlightModeKey)
        return setBacklightMode(value);
    if (key == ServiceContract::tableKey)
        return setTable(value);
    if (key == ServiceContract::followTauKey)
        return setFollowTau(value);
    if (key == ServiceContract::hardwareBrightnessChangedKey)
        return adoptHardwareChange(value);
    if (key == ServiceContract::desktopBrightnessKey)
        return adoptDesktopChange(value);
    return false;
}

bool LedService::setBacklightMode(const PropertyValue& value)
{
    const auto on = switchPosition(value);
    if (!on)
        return false;
    // The level of the table written last, kept while the LED was off: never a stale one.
    if (*on) {
        if (!light(m_mapping.brightnessFor(m_level)))
            return false;
    } else {
        if (!show(0))
            return false;
        forget();
    }
    m_on = *on;
    return true;
}

bool LedService::setTable(const PropertyValue& value)
{
    const auto table = FactoryTable::accept(value);
    if (!table)
        return false;
    learnFactory(*table);
    if (FactoryTable::isWholeFactoryTable(*table))
        return handBack();
    const double level = FactoryTable::levelOf(*table);
    if (m_on && !light(m_mapping.brightnessFor(level)))
        return false;
    if (!m_on && !m_device.isPresent())
        return false;
    m_level = level;
    return true;
}

bool LedService::setFollowTau(const PropertyValue& value)
{
    if (!value.isNumber() || !std::isfinite(value.doubleValue()) || value.doubleValue() < 0)
        return false;
    m_followTau = value.doubleValue();
    return true;
}

void LedService::learnFactory(const FactoryTable::Table& table)
{
    const auto led = FactoryTable::ledCodeOf(table);
    if (led && *led != m_ledCode)
        return;
    if (!m_factoryChosenByUser) {
        const auto found = FactoryTable::foundBrightnessOf(table);
        if (found && *found == 0 && m_litByOthersAt)
            setFactoryBrightness(*m_litByOthersAt);
        else if (found)
            setFactoryBrightness(*found);
    }
    if (const auto trigger = FactoryTable::triggerCodeOf(table))
        m_factoryTrigger = trigger;
}

void LedService::setFactoryBrightness(unsigned found)
{
    // A brightness found on an LED whose range has since shrunk is clamped by the mapping.
    m_factoryFound = found;
    m_mapping = LevelMapping(m_device.maxBrightness(), found);
}
