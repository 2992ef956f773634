#pragma once

#include "testkit/services/PrivateFolder.h"

#include <QProcessEnvironment>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

// LED class devices in a umockdev testbed of this test's own, for the real executable: a child
// given environment() sees them under /sys/class/leds through umockdev's preload, and the test
// reads and changes their attribute files directly. The testbed keeps whatever is written, byte
// for byte; where the kernel would show more, showTriggersAsTheKernelDoes() does it.
//
// The testbed is laid out by hand, as umockdev's library would lay it out (a sysfs tree under
// the folder that UMOCKDEV_DIR names): the library serves it from a thread of its own, and a
// process with threads may not fork under ThreadSanitizer.
class LedTestbed {
public:
    struct Led {
        std::string name;
        unsigned maxBrightness;
        unsigned brightness;
        // As the trigger attribute reads: every trigger, the active one in brackets.
        std::string triggers;
    };

    LedTestbed() = default;
    LedTestbed(const LedTestbed&) = delete;
    LedTestbed& operator=(const LedTestbed&) = delete;

    void add(const Led& led);

    // The brightness attribute as a number; -1 when it cannot be read.
    int brightness(const std::string& name) const;
    void setBrightness(const std::string& name, unsigned brightness);
    std::string triggers(const std::string& name) const;

    // A trigger attribute holding one bare name, as written to it, reads as the kernel shows it:
    // the LED's triggers with that one in brackets.
    void showTriggersAsTheKernelDoes();

    // The calling environment, with the testbed preloaded and no system bus (so no logind: the
    // LED is written through its attribute, in the testbed).
    QProcessEnvironment environment(QProcessEnvironment base) const;

private:
    std::filesystem::path attribute(const std::string& name, const char* attribute) const;

    PrivateFolder m_root{"beamwick-testbed"};
    std::map<std::string, std::vector<std::string>> m_triggerNames;
};
