#include "ledservice/LedService.h"

#include "ledservice/LedFinder.h"
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

std::unique_ptr<LedService> LedService::open(const std::filesystem::path& root,
                                             const char* requestedLed,
                                             std::chrono::milliseconds logindTimeout)
{
    auto device = LedFinder(root).find(requestedLed);
    if (!device)
        return nullptr;
    std::vector<std::unique_ptr<LedWriter>> writers;
    writers.push_back(std::make_unique<LogindWriter>(logindTimeout));
    writers.push_back(std::make_unique<SysfsWriter>());
    return std::make_unique<LedService>(std::move(*device), std::move(writers));
}

LedService::LedService(LedDevice device, std::vector<std::unique_ptr<LedWriter>> writers)
    : m_device(std::move(device)), m_writers(std::move(writers)),
      m_factoryFound(m_device.brightness().value_or(0)),
      m_mapping(m_device.maxBrightness(), m_factoryFound), m_on(m_factoryFound > 0)
{
    if (const auto trigger = m_device.trigger())
        m_factoryTrigger = FactoryTable::triggerCode(*trigger);
}

std::optional<PropertyValue> LedService::get(std::string_view key) const
{
    if (key == ServiceContract::backlightModeKey) {
        const auto brightness = m_device.brightness();
        if (!brightness)
            return std::nullopt;
        return PropertyValue::integer(*brightness > 0 ? 1 : 0);
    }
    if (key == ServiceContract::tableKey) {
        if (!m_device.isPresent())
            return std::nullopt;
        return PropertyValue::table(FactoryTable(m_factoryFound, m_factoryTrigger).rows());
    }
    if (key == ServiceContract::followTauKey)
        return PropertyValue::real(m_followTau);
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
    return false;
}

bool LedService::setBacklightMode(const PropertyValue& value)
{
    const auto on = switchPosition(value);
    if (!on)
        return false;
    // The level of the table written last, kept while the LED was off: never a stale one.
    if (!show(*on ? m_mapping.brightnessFor(m_level) : 0))
        return false;
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
    if (m_on && !show(m_mapping.brightnessFor(level)))
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
    if (!m_factoryChosenByUser) {
        if (const auto found = FactoryTable::foundBrightnessOf(table))
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

bool LedService::adoptHardwareChange(const PropertyValue& value)
{
    if (!value.isNumber())
        return false;
    const auto brightness = m_device.hardwareChangedBrightness();
    if (!brightness)
        return false;
    // The firmware switched the LED off: the user's factory brightness is still the last one.
    if (*brightness == 0) {
        m_on = false;
        return true;
    }
    m_factoryChosenByUser = true;
    setFactoryBrightness(*brightness);
    m_on = true;
    m_level = 1.0;
    return true;
}

bool LedService::handBack()
{
    m_level = 1.0;
    // Quitting does not switch the LED: one that is off stays dark, and keeps no trigger that
    // could light it.
    if (!m_on)
        return m_device.isPresent();
    if (!show(m_mapping.factoryBrightness()))
        return false;
    return restoreTrigger();
}

bool LedService::restoreTrigger()
{
    // Brightness first: writing 0 drops the trigger, so the trigger must come after it.
    if (!m_factoryTrigger)
        return true;
    const auto current = m_device.trigger();
    if (current && FactoryTable::triggerCode(*current) == *m_factoryTrigger)
        return true;
    for (const auto& name : m_device.availableTriggers()) {
        if (FactoryTable::triggerCode(name) == *m_factoryTrigger)
            return m_device.setTrigger(name);
    }
    // The trigger is gone (its module unloaded): the brightness is all that can be given back.
    return true;
}

bool LedService::show(unsigned brightness)
{
    // A vanished LED fails here rather than through a writer that cannot tell (a logind that
    // answers for a device it does not check).
    if (!m_device.isPresent())
        return false;
    for (const auto& writer : m_writers) {
        if (writer->write(m_device, brightness))
            return true;
    }
    return false;
}
