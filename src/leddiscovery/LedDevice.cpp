#include "leddiscovery/LedDevice.h"

#include "leddiscovery/SysfsAttribute.h"

#include <sstream>
#include <system_error>

LedDevice::LedDevice(std::filesystem::path directory, std::string name, unsigned maxBrightness)
    : m_directory(std::move(directory)), m_name(std::move(name)), m_maxBrightness(maxBrightness)
{}

std::optional<LedDevice> LedDevice::open(const std::filesystem::path& root, const std::string& name)
{
    LedDevice device(root / name, name, 0);
    const auto max = SysfsAttribute::readUnsigned(device.attribute("max_brightness"));
    if (!max || *max == 0 || !device.brightness())
        return std::nullopt;
    device.m_maxBrightness = *max;
    return device;
}

std::filesystem::path LedDevice::attribute(const char* attributeName) const
{
    return m_directory / attributeName;
}

bool LedDevice::isPresent() const
{
    std::error_code error;
    return std::filesystem::exists(attribute("brightness"), error);
}

std::optional<unsigned> LedDevice::brightness() const
{
    return SysfsAttribute::readUnsigned(attribute("brightness"));
}

std::optional<std::string> LedDevice::trigger() const
{
    const auto text = SysfsAttribute::read(attribute("trigger"));
    return text ? activeTrigger(*text) : std::nullopt;
}

std::optional<std::string> LedDevice::activeTrigger(const std::string& text)
{
    const auto open = text.find('[');
    const auto close = text.find(']', open);
    if (open == std::string::npos || close == std::string::npos)
        return std::nullopt;
    return text.substr(open + 1, close - open - 1);
}

bool LedDevice::setTrigger(const std::string& trigger) const
{
    return SysfsAttribute::write(attribute("trigger"), trigger + "\n");
}

std::vector<std::string> LedDevice::availableTriggers() const
{
    const auto text = SysfsAttribute::read(attribute("trigger"));
    return text ? triggerNames(*text) : std::vector<std::string>();
}

std::vector<std::string> LedDevice::triggerNames(const std::string& text)
{
    std::vector<std::string> names;
    std::istringstream words(text);
    for (std::string word; words >> word;) {
        if (word.size() > 2 && word.front() == '[' && word.back() == ']')
            word = word.substr(1, word.size() - 2);
        names.push_back(std::move(word));
    }
    return names;
}

std::optional<std::filesystem::path> LedDevice::hardwareChangeAttribute() const
{
    std::error_code error;
    auto path = attribute("brightness_hw_changed");
    if (!std::filesystem::exists(path, error))
        return std::nullopt;
    return path;
}

std::optional<unsigned> LedDevice::lastHardwareChange() const
{
    // Reading fails (ENODATA) until the firmware has changed the brightness once.
    return SysfsAttribute::readUnsigned(attribute("brightness_hw_changed"));
}

std::optional<unsigned> LedDevice::hardwareChangedBrightness() const
{
    if (auto changed = lastHardwareChange())
        return changed;
    return brightness();
}
