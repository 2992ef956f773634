#include "testkit/fakes/MemoryLeds.h"

#include "leddiscovery/LedDevice.h"
#include "leddiscovery/LedFinder.h"
#include "leddiscovery/SysfsAttribute.h"
#include "ledservice/LedClient.h"
#include "ledservice/ServiceClass.h"

#include <cstdlib>
#include <stdexcept>

namespace {

constexpr const char* kKeyAttribute = "brightness_hw_changed";
MemoryLeds* g_current = nullptr;

} // namespace

// One LED's attributes, looked up by name at every read: an LED removed is gone to it, and one
// added again under that name is there again, as a folder in /sys is.
class MemoryLeds::Files final : public LedFiles {
public:
    Files(MemoryLeds& leds, std::string name, unsigned max)
        : m_leds(leds), m_name(std::move(name)), m_max(max)
    {}

    bool isPresent() const override { return attribute("brightness") != nullptr; }
    std::optional<unsigned> brightness() const override { return number("brightness"); }
    std::optional<std::string> trigger() const override
    {
        const auto* text = attribute("trigger");
        return text ? LedDevice::activeTrigger(*text) : std::nullopt;
    }
    std::vector<std::string> triggers() const override
    {
        const auto* text = attribute("trigger");
        return text ? LedDevice::triggerNames(*text) : std::vector<std::string>();
    }
    std::optional<unsigned> lastKey() const override { return number(kKeyAttribute); }

    const std::string& name() const override { return m_name; }
    std::string noteKey() const override { return "memory/" + m_name; }
    unsigned maxBrightness() const override { return m_max; }
    std::optional<std::string> keyFile() const override
    {
        if (!attribute(kKeyAttribute))
            return std::nullopt;
        return MemoryLeds::keyFile(m_name);
    }
    bool writeBrightness(unsigned step) override
    {
        return m_leds.written(!m_leds.m_refusing && put("brightness", std::to_string(step) + "\n"));
    }
    bool writeTrigger(const std::string& trigger) override
    {
        return m_leds.written(put("trigger", trigger + "\n"));
    }

private:
    const std::string* attribute(const char* which) const
    {
        const auto* led = m_leds.find(m_name);
        if (!led)
            return nullptr;
        const auto file = led->files.find(which);
        return file == led->files.end() ? nullptr : &file->second;
    }
    std::optional<unsigned> number(const char* which) const
    {
        const auto* text = attribute(which);
        return text ? SysfsAttribute::parseUnsigned(*text) : std::nullopt;
    }
    // As a write to sysfs, which never creates an attribute.
    bool put(const char* which, const std::string& text)
    {
        if (!attribute(which))
            return false;
        m_leds.m_leds[m_name].files[which] = text;
        return true;
    }

    MemoryLeds& m_leds;
    std::string m_name;
    unsigned m_max;
};

class MemoryLeds::Tree final : public LedTree {
public:
    explicit Tree(MemoryLeds& leds) : m_leds(leds) {}

    std::vector<std::string> names() const override
    {
        std::vector<std::string> names;
        for (const auto& [name, led] : m_leds.m_leds) {
            if (LedFinder::isSafeName(name))
                names.push_back(name);
        }
        return names;
    }
    std::unique_ptr<LedFiles> open(const std::string& name) const override
    {
        const auto* led = m_leds.find(name);
        if (!led || !LedFinder::isSafeName(name))
            return nullptr;
        const auto max = led->files.find("max_brightness");
        const unsigned steps =
            max == led->files.end() ? 0 : SysfsAttribute::parseUnsigned(max->second).value_or(0);
        auto files = std::make_unique<Files>(m_leds, name, steps);
        if (steps == 0 || !files->brightness())
            return nullptr;
        return files;
    }

private:
    MemoryLeds& m_leds;
};

class MemoryLeds::Notes final : public NoteStore {
public:
    explicit Notes(MemoryLeds& leds) : m_leds(leds) {}

    std::optional<LedNote> read(const std::string& led) const override
    {
        const auto note = m_leds.m_notes.find(led);
        if (note == m_leds.m_notes.end())
            return std::nullopt;
        return note->second;
    }
    void write(const LedNote& note) override
    {
        m_leds.m_notes[note.led] = note;
        m_leds.written(true);
    }
    void clear(const std::string& led) override
    {
        m_leds.m_notes.erase(led);
        m_leds.written(true);
    }

private:
    MemoryLeds& m_leds;
};

MemoryLeds::MemoryLeds()
{
    if (g_current)
        throw std::logic_error("MemoryLeds: one at a time");
    g_current = this;
}

MemoryLeds::~MemoryLeds()
{
    g_current = nullptr;
}

bool MemoryLeds::written(bool taken)
{
    if (afterWrite)
        afterWrite();
    return taken;
}

const MemoryLeds::Entry* MemoryLeds::find(const std::string& name) const
{
    const auto led = m_leds.find(name);
    return led == m_leds.end() ? nullptr : &led->second;
}

void MemoryLeds::add(const Led& led)
{
    Entry entry;
    entry.files["brightness"] = std::to_string(led.brightness) + "\n";
    entry.files["max_brightness"] = std::to_string(led.maxBrightness) + "\n";
    if (!led.triggers.empty())
        entry.files["trigger"] = led.triggers + "\n";
    entry.triggers = LedDevice::triggerNames(led.triggers);
    m_leds[led.name] = std::move(entry);
}

void MemoryLeds::remove(const std::string& name)
{
    m_leds.erase(name);
}

int MemoryLeds::brightness(const std::string& name) const
{
    const auto value = SysfsAttribute::parseUnsigned(text(name, "brightness"));
    return value ? static_cast<int>(*value) : -1;
}

std::string MemoryLeds::text(const std::string& name, const char* attribute) const
{
    const auto* led = find(name);
    if (!led)
        return {};
    const auto file = led->files.find(attribute);
    return file == led->files.end() ? std::string() : file->second;
}

void MemoryLeds::write(const std::string& name, const char* attribute, const std::string& text)
{
    if (const auto led = m_leds.find(name); led != m_leds.end())
        led->second.files[attribute] = text;
}

void MemoryLeds::showTriggersAsTheKernelDoes()
{
    for (auto& [name, led] : m_leds) {
        const auto file = led.files.find("trigger");
        if (file == led.files.end())
            continue;
        if (const auto shown = FakeLedTree::kernelShows(file->second, led.triggers))
            file->second = *shown;
    }
}

std::string MemoryLeds::keyFile(const std::string& name)
{
    return "memory/" + name + "/" + kKeyAttribute;
}

std::unique_ptr<LedTree> MemoryLeds::tree()
{
    return std::make_unique<Tree>(*this);
}

std::unique_ptr<NoteStore> MemoryLeds::noteStore()
{
    return std::make_unique<Notes>(*this);
}

std::unique_ptr<Brightness> MemoryLeds::client() const
{
    // The client type's create() takes no arguments, as the module's does: it finds the LEDs it
    // serves here, as the module finds its folder.
    static const bw_service_class cls = ledServiceClass([]() -> void* {
        try {
            return new LedClient(g_current->tree(), g_current->noteStore(),
                                 std::getenv("BEAMWICK_LED"));
        } catch (...) {
            return nullptr;
        }
    });
    return std::make_unique<Brightness>(&cls);
}
