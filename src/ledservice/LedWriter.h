#pragma once

#include "leddiscovery/LedDevice.h"

// One way of setting an LED's brightness. Implementations answer quickly: a write that cannot
// complete within a few milliseconds counts as failed.
class LedWriter {
public:
    virtual ~LedWriter() = default;
    // True when the LED took the value.
    virtual bool write(const LedDevice& led, unsigned brightness) = 0;
};
