#include "tests/system/LedTestbed.h"

#include <fstream>
#include <sstream>

namespace {

std::string readAll(const std::filesystem::path& file)
{
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// A rename over the old file: the executable never reads half of one.
void replace(const std::filesystem::path& file, const std::string& text)
{
    const auto fresh = file.string() + ".new";
    std::ofstream(fresh, std::ios::trunc) << text;
    std::filesystem::rename(fresh, file);
}

} // namespace

void LedTestbed::add(const Led& led)
{
    // Where the kernel puts an LED: a device folder, linked from the class folder.
    const auto device = std::filesystem::path("devices/platform/beamwick-test/leds") / led.name;
    const auto sys = std::filesystem::path(m_root.path()) / "sys";
    std::filesystem::create_directories(sys / device);
    std::filesystem::create_directories(sys / "class/leds");
    std::filesystem::create_symlink("../.." / device, sys / "class/leds" / led.name);
    std::ofstream(sys / device / "brightness") << led.brightness << "\n";
    std::ofstream(sys / device / "max_brightness") << led.maxBrightness << "\n";
    std::ofstream(sys / device / "trigger") << led.triggers << "\n";
    std::ofstream(sys / device / "uevent") << "";
    std::istringstream words(led.triggers);
    for (std::string word; words >> word;) {
        if (word.front() == '[')
            word = word.substr(1, word.size() - 2);
        m_triggerNames[led.name].push_back(word);
    }
}

std::filesystem::path LedTestbed::attribute(const std::string& name, const char* attribute) const
{
    return std::filesystem::path(m_root.path()) / "sys/class/leds" / name / attribute;
}

int LedTestbed::brightness(const std::string& name) const
{
    std::ifstream in(attribute(name, "brightness"));
    int value = -1;
    if (!(in >> value))
        return -1;
    return value;
}

void LedTestbed::setBrightness(const std::string& name, unsigned brightness)
{
    replace(attribute(name, "brightness"), std::to_string(brightness) + "\n");
}

std::string LedTestbed::triggers(const std::string& name) const
{
    return readAll(attribute(name, "trigger"));
}

void LedTestbed::showTriggersAsTheKernelDoes()
{
    for (const auto& [name, all] : m_triggerNames) {
        std::istringstream text(triggers(name));
        std::string written, more;
        if (!(text >> written) || text >> more || written.front() == '[')
            continue;
        std::string shown;
        for (const auto& trigger : all)
            shown +=
                (shown.empty() ? "" : " ") + (trigger == written ? "[" + trigger + "]" : trigger);
        replace(attribute(name, "trigger"), shown + "\n");
    }
}

QProcessEnvironment LedTestbed::environment(QProcessEnvironment base) const
{
    base.insert("UMOCKDEV_DIR", QString::fromStdString(m_root.path()));
    base.insert("LD_PRELOAD", UMOCKDEV_PRELOAD);
    base.insert("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/beamwick-test-bus");
    // Under AddressSanitizer the preload comes first, which it would otherwise refuse.
    const QString asan = base.value("ASAN_OPTIONS");
    base.insert("ASAN_OPTIONS",
                (asan.isEmpty() ? QString() : asan + ":") + "verify_asan_link_order=0");
    base.remove("BEAMWICK_LED");
    return base;
}
