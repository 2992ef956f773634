#include "ledservice/LedService.h"

#include "ledservice/LedFinder.h"
#include "ledservice/LogindWriter.h"
#include "ledservice/SysfsWriter.h"

#include <cmath>

namespace {

constexpr std::string_view kBacklightModeKey = "LEBacklightMode";
constexpr std::string_view kTableKey = "LEPWMBrightnessNitsMapping";
constexpr std::string_view kFollowTauKey = "LEPWMFollowTau";

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
      m_factory(m_device.maxBrightness()), m_brightnessAsFound(m_device.brightness().value_or(0)),
      m_triggerAsFound(m_device.trigger()),
      m_mapping(m_device.maxBrightness(), m_brightnessAsFound), m_on(m_brightnessAsFound > 0)
{}

std::optional<PropertyValue> LedService::get(std::string_view key) const
{
    if (key == kBacklightModeKey) {
        const auto brightness = m_device.brightness();
        if (!brightness)
            return std::nullopt;
        return PropertyValue::integer(*brightness > 0 ? 1 : 0);
    }
    if (key == kTableKey) {
        if (!m_device.isPresent())
            return std::nullopt;
        return PropertyValue::table(m_factory.rows());
    }
    if (key == kFollowTauKey)
        return PropertyValue::real(m_followTau);
    return std::nullopt;
}

bool LedService::set(const PropertyValue& value, std::string_view key)
{
    if (key == kBacklightModeKey)
        return setBacklightMode(value);
    if (key == kTableKey)
        return setTable(value);
    if (key == kFollowTauKey)
        return setFollowTau(value);
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
    const auto table = m_factory.accept(value);
    if (!table)
        return false;
    if (m_factory.isWholeFactoryTable(*table))
        return handBack();
    const double level = m_factory.levelOf(*table);
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

bool LedService::handBack()
{
    if (!show(m_brightnessAsFound))
        return false;
    m_on = m_brightnessAsFound > 0;
    m_level = 1.0;
    // Brightness first: writing 0 drops the trigger, so the trigger must come after it.
    if (!m_triggerAsFound || m_device.trigger() == m_triggerAsFound)
        return true;
    return m_device.setTrigger(*m_triggerAsFound);
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
