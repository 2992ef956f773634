#pragma once

#include <filesystem>
#include <string>

// A temporary folder laid out like /sys/class/leds, for pointing the LED module at in tests.
// Unlike the kernel, it keeps whatever is written, byte for byte, and never drops a trigger.
class FakeLedTree {
public:
    FakeLedTree();
    ~FakeLedTree();
    FakeLedTree(const FakeLedTree&) = delete;
    FakeLedTree& operator=(const FakeLedTree&) = delete;

    const std::filesystem::path& root() const { return m_root; }

    void add(const std::string& name, unsigned brightness, unsigned maxBrightness,
             const std::string& triggers = "[none] timer heartbeat");
    void remove(const std::string& name);

    // The brightness attribute as a number (-1 when unreadable) and as raw text.
    int brightness(const std::string& name) const;
    std::string text(const std::string& name, const char* attribute) const;
    // Any file's whole text; empty when it cannot be read.
    static std::string read(const std::filesystem::path& file);
    void write(const std::string& name, const char* attribute, const std::string& text);

    // Lets another user read (not write) the tree, for a test that drops root.
    void openForReading();

private:
    std::filesystem::path m_root;
};

// Points every LED module client created afterwards at `folder`; empty goes back to /sys.
void pointLedModuleAt(const std::filesystem::path& folder);
// How long LED module clients created afterwards wait for logind; 0 is the module's default.
void setLedModuleLogindTimeout(unsigned milliseconds);
