#pragma once

#include "ledservice/LedWriter.h"

// Writes the LED's brightness attribute directly; needs write access to it (root, or a udev
// rule granting it).
class SysfsWriter final : public LedWriter {
public:
    bool write(const LedDevice& led, unsigned brightness) override;
};
