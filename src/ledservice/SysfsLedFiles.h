#pragma once

#include "leddiscovery/LedDevice.h"
#include "ledservice/LedFiles.h"
#include "ledservice/LedWriter.h"

#include <memory>
#include <vector>

// An LED class device's own files, written through the writers given, tried in order until one
// takes the step (logind, then the attribute).
class SysfsLedFiles final : public LedFiles {
public:
    SysfsLedFiles(LedDevice device, std::vector<std::unique_ptr<LedWriter>> writers);

    bool isPresent() const override { return m_device.isPresent(); }
    std::optional<unsigned> brightness() const override { return m_device.brightness(); }
    std::optional<std::string> trigger() const override { return m_device.trigger(); }
    std::vector<std::string> triggers() const override { return m_device.availableTriggers(); }
    std::optional<unsigned> lastKey() const override { return m_device.lastHardwareChange(); }

    const std::string& name() const override { return m_device.name(); }
    std::string noteKey() const override { return m_device.directory().string(); }
    unsigned maxBrightness() const override { return m_device.maxBrightness(); }
    std::optional<std::string> keyFile() const override;
    bool writeBrightness(unsigned step) override;
    bool writeTrigger(const std::string& trigger) override { return m_device.setTrigger(trigger); }

private:
    LedDevice m_device;
    std::vector<std::unique_ptr<LedWriter>> m_writers;
};
