#include "testkit/fakes/FakeLedTree.h"

#include "testkit/services/FileText.h"

#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

// A rename over the old file: a process reading it never sees half of one.
void replace(const fs::path& file, const std::string& text)
{
    const auto fresh = file.string() + ".new";
    std::ofstream(fresh, std::ios::trunc) << text;
    fs::rename(fresh, file);
}

} // namespace

FakeLedTree::FakeLedTree()
{
    fs::create_directories(root());
}

fs::path FakeLedTree::root() const
{
    return fs::path(m_folder.path()) / "sys/class/leds";
}

fs::path FakeLedTree::devices() const
{
    return fs::path(m_folder.path()) / "sys/devices/platform/beamwick-test/leds";
}

fs::path FakeLedTree::add(const Led& led)
{
    remove(led.name);
    // Where the kernel puts an LED: a device folder, linked from the class folder.
    fs::create_directories(devices() / led.name);
    fs::create_directories(root());
    fs::create_symlink("../../devices/platform/beamwick-test/leds" / fs::path(led.name),
                       root() / led.name);
    write(led.name, "brightness", std::to_string(led.brightness) + "\n");
    write(led.name, "max_brightness", std::to_string(led.maxBrightness) + "\n");
    if (!led.triggers.empty())
        write(led.name, "trigger", led.triggers + "\n");
    write(led.name, "uevent", "");
    std::istringstream words(led.triggers);
    for (std::string word; words >> word;) {
        if (word.front() == '[')
            word = word.substr(1, word.size() - 2);
        m_triggerNames[led.name].push_back(word);
    }
    return root() / led.name / "brightness";
}

fs::path FakeLedTree::add(const std::string& name, unsigned brightness, unsigned maxBrightness,
                          const std::string& triggers)
{
    return add(Led{name, maxBrightness, brightness, triggers});
}

void FakeLedTree::remove(const std::string& name)
{
    std::error_code ignored;
    fs::remove(root() / name, ignored);
    fs::remove_all(devices() / name, ignored);
    m_triggerNames.erase(name);
}

int FakeLedTree::brightness(const std::string& name) const
{
    std::ifstream in(root() / name / "brightness");
    int value = -1;
    if (!(in >> value))
        return -1;
    return value;
}

void FakeLedTree::setBrightness(const std::string& name, unsigned brightness)
{
    replace(root() / name / "brightness", std::to_string(brightness) + "\n");
}

std::string FakeLedTree::text(const std::string& name, const char* attribute) const
{
    return read(root() / name / attribute);
}

std::string FakeLedTree::read(const fs::path& file)
{
    return fileText(file);
}

void FakeLedTree::write(const std::string& name, const char* attribute, const std::string& text)
{
    std::ofstream(root() / name / attribute, std::ios::trunc) << text;
}

void FakeLedTree::showTriggersAsTheKernelDoes()
{
    for (const auto& [name, all] : m_triggerNames) {
        if (const auto shown = kernelShows(text(name, "trigger"), all))
            replace(root() / name / "trigger", *shown);
    }
}

std::optional<std::string> FakeLedTree::kernelShows(const std::string& text,
                                                    const std::vector<std::string>& triggers)
{
    const auto begin = text.find_first_not_of(" \n");
    const auto end = text.find_first_of(" \n", begin);
    if (begin == std::string::npos || text[begin] == '[' ||
        text.find_first_not_of(" \n", end) != std::string::npos)
        return std::nullopt;
    const std::string written = text.substr(begin, end - begin);
    std::string shown;
    for (const auto& trigger : triggers)
        shown += (shown.empty() ? "" : " ") + (trigger == written ? "[" + trigger + "]" : trigger);
    return shown + "\n";
}

void FakeLedTree::openForReading()
{
    const auto enter = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                       fs::perms::others_read | fs::perms::others_exec;
    const auto read = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                      fs::perms::others_read;
    fs::permissions(m_folder.path(), enter);
    for (const auto& entry : fs::recursive_directory_iterator(m_folder.path())) {
        if (entry.is_symlink())
            continue;
        fs::permissions(entry.path(), entry.is_directory() ? enter : read);
    }
}

QProcessEnvironment FakeLedTree::environment(QProcessEnvironment base) const
{
    base.insert("UMOCKDEV_DIR", QString::fromStdString(m_folder.path()));
    base.insert("LD_PRELOAD", UMOCKDEV_PRELOAD);
    base.insert("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/beamwick-test-bus");
    // Under AddressSanitizer the preload comes first, which it would otherwise refuse.
    const QString asan = base.value("ASAN_OPTIONS");
    base.insert("ASAN_OPTIONS",
                (asan.isEmpty() ? QString() : asan + ":") + "verify_asan_link_order=0");
    base.remove("BEAMWICK_LED");
    return base;
}
