#pragma once

#include "testkit/services/PrivateFolder.h"

#include <QProcessEnvironment>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

// LED class devices in a folder of the test's own, laid out as the kernel and umockdev's testbed
// lay them out: each LED a device folder, linked from the class folder root(), which stands for
// /sys/class/leds. The LED module's test build and --status are pointed at root(); a child given
// environment() sees the LEDs under /sys/class/leds through umockdev's preload. Unlike the
// kernel, the tree keeps whatever is written, byte for byte, and never drops a trigger; where the
// kernel would show more, showTriggersAsTheKernelDoes() does it.
//
// The testbed is laid out by hand rather than through umockdev's library: the library serves it
// from a thread of its own, and a process with threads may not fork under ThreadSanitizer.
class FakeLedTree {
public:
    struct Led {
        std::string name;
        unsigned maxBrightness;
        unsigned brightness;
        // As the trigger attribute reads: every trigger, the active one in brackets. Empty: the
        // LED has no trigger attribute.
        std::string triggers;
    };

    FakeLedTree();
    FakeLedTree(const FakeLedTree&) = delete;
    FakeLedTree& operator=(const FakeLedTree&) = delete;

    // The class folder, /sys/class/leds of the tree.
    std::filesystem::path root() const;

    // Adds the LED (replacing one of that name) and gives its brightness attribute's path.
    std::filesystem::path add(const Led& led);
    std::filesystem::path add(const std::string& name, unsigned brightness, unsigned maxBrightness,
                              const std::string& triggers = "[none] timer heartbeat");
    void remove(const std::string& name);

    // The brightness attribute as a number; -1 when it cannot be read.
    int brightness(const std::string& name) const;
    // As the user's key would: the new text replaces the old at once, never half written, for a
    // process reading it meanwhile.
    void setBrightness(const std::string& name, unsigned brightness);
    // An attribute's whole text, and any file's; empty when it cannot be read.
    std::string text(const std::string& name, const char* attribute) const;
    static std::string read(const std::filesystem::path& file);
    void write(const std::string& name, const char* attribute, const std::string& text);

    // A trigger attribute holding one bare name, as written to it, reads as the kernel shows it:
    // the LED's triggers with that one in brackets.
    void showTriggersAsTheKernelDoes();
    // The text the kernel shows for a trigger attribute written `written`, of an LED with these
    // triggers; nothing where it shows it as written.
    static std::optional<std::string> kernelShows(const std::string& written,
                                                  const std::vector<std::string>& triggers);

    // Lets another user read (not write) the tree, for a test that drops its rights.
    void openForReading();

    // The calling environment, with the testbed preloaded and no system bus (so no logind: the
    // LED is written through its attribute, in the testbed).
    QProcessEnvironment environment(QProcessEnvironment base) const;

private:
    std::filesystem::path devices() const;

    PrivateFolder m_folder{"beamwick-leds", true};
    std::map<std::string, std::vector<std::string>> m_triggerNames;
};
