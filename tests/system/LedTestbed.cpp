#include "tests/system/LedTestbed.h"

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <umockdev.h>

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

LedTestbed::LedTestbed() : m_testbed(umockdev_testbed_new())
{
    if (!m_testbed)
        throw std::runtime_error("cannot create a umockdev testbed");
    gchar* sys = umockdev_testbed_get_sys_dir(m_testbed);
    m_sys = sys;
    g_free(sys);
}

LedTestbed::~LedTestbed()
{
    // Removes the testbed's folder.
    g_object_unref(m_testbed);
}

void LedTestbed::add(const Led& led)
{
    const std::string brightness = std::to_string(led.brightness);
    const std::string max = std::to_string(led.maxBrightness);
    gchar* path = umockdev_testbed_add_device(
        m_testbed, "leds", led.name.c_str(), nullptr, "brightness", brightness.c_str(),
        "max_brightness", max.c_str(), "trigger", led.triggers.c_str(), nullptr, nullptr);
    if (!path)
        throw std::runtime_error("umockdev refused the LED " + led.name);
    g_free(path);
    std::istringstream words(led.triggers);
    for (std::string word; words >> word;) {
        if (word.front() == '[')
            word = word.substr(1, word.size() - 2);
        m_triggerNames[led.name].push_back(word);
    }
}

std::filesystem::path LedTestbed::attribute(const std::string& name, const char* attribute) const
{
    return m_sys / "class/leds" / name / attribute;
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
    gchar* root = umockdev_testbed_get_root_dir(m_testbed);
    base.insert("UMOCKDEV_DIR", QString::fromUtf8(root));
    g_free(root);
    base.insert("LD_PRELOAD", "libumockdev-preload.so.0");
    base.insert("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/beamwick-test-bus");
    // Under AddressSanitizer the preload comes first, which it would otherwise refuse.
    const QString asan = base.value("ASAN_OPTIONS");
    base.insert("ASAN_OPTIONS",
                (asan.isEmpty() ? QString() : asan + ":") + "verify_asan_link_order=0");
    base.remove("BEAMWICK_LED");
    return base;
}
