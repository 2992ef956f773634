#pragma once

#include "ledservice/LedWriter.h"

// Writes the LED's brightness attribute directly; needs write access to it (root, or a udev
// rule granting it).
class SysfsWriter final : public LedWriter {
public:
    bool write(const LedDevice& led, unsigned brightness) override;

    // While set, every write fails, as one to a device that is busy for a moment does; for the
    // module's test build alone.
    static void refuseWrites(bool refuse);
};
