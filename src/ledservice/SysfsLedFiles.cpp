#include "ledservice/SysfsLedFiles.h"

SysfsLedFiles::SysfsLedFiles(LedDevice device, std::vector<std::unique_ptr<LedWriter>> writers)
    : m_device(std::move(device)), m_writers(std::move(writers))
{}

std::optional<std::string> SysfsLedFiles::keyFile() const
{
    if (const auto path = m_device.hardwareChangeAttribute())
        return path->string();
    return std::nullopt;
}

bool SysfsLedFiles::writeBrightness(unsigned step)
{
    // A vanished LED fails here rather than through a writer that cannot tell (a logind that
    // answers for a device it does not check).
    if (!m_device.isPresent())
        return false;
    for (const auto& writer : m_writers) {
        if (writer->write(m_device, step))
            return true;
    }
    return false;
}
