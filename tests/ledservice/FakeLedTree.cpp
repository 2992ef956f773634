#include "FakeLedTree.h"

#include <cstdlib>
#include <dlfcn.h>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

FakeLedTree::FakeLedTree()
{
    std::string pattern = (fs::temp_directory_path() / "beamwick-leds.XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create a temporary LED folder");
    m_root = pattern;
}

FakeLedTree::~FakeLedTree()
{
    std::error_code error;
    fs::remove_all(m_root, error);
}

void FakeLedTree::add(const std::string& name, unsigned brightness, unsigned maxBrightness,
                      const std::string& triggers)
{
    fs::create_directories(m_root / name);
    write(name, "brightness", std::to_string(brightness) + "\n");
    write(name, "max_brightness", std::to_string(maxBrightness) + "\n");
    write(name, "trigger", triggers + "\n");
}

void FakeLedTree::remove(const std::string& name)
{
    fs::remove_all(m_root / name);
}

int FakeLedTree::brightness(const std::string& name) const
{
    std::ifstream in(m_root / name / "brightness");
    int value = -1;
    if (!(in >> value))
        return -1;
    return value;
}

std::string FakeLedTree::text(const std::string& name, const char* attribute) const
{
    return read(m_root / name / attribute);
}

std::string FakeLedTree::read(const fs::path& file)
{
    std::ifstream in(file);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

void FakeLedTree::write(const std::string& name, const char* attribute, const std::string& text)
{
    std::ofstream out(m_root / name / attribute, std::ios::trunc);
    out << text;
}

void FakeLedTree::openForReading()
{
    const auto readable = fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read;
    fs::permissions(m_root, readable | fs::perms::group_exec | fs::perms::others_exec);
    for (const auto& entry : fs::recursive_directory_iterator(m_root)) {
        if (entry.is_directory())
            fs::permissions(entry.path(),
                            readable | fs::perms::group_exec | fs::perms::others_exec);
        else
            fs::permissions(entry.path(), fs::perms::owner_read | fs::perms::owner_write |
                                              fs::perms::group_read | fs::perms::others_read);
    }
}

namespace {

template <typename Hook> Hook ledModuleHook(const char* name)
{
    // The same path as Brightness loads, so this is the same loaded module and the same state.
    void* module = dlopen(BEAMWICK_LEDS_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    if (!module)
        throw std::runtime_error(dlerror());
    auto hook = reinterpret_cast<Hook>(dlsym(module, name));
    if (!hook)
        throw std::runtime_error(std::string("the LED module's test build has no ") + name);
    return hook;
}

} // namespace

void pointLedModuleAt(const fs::path& folder)
{
    ledModuleHook<void (*)(const char*)>("bw_leds_set_sysfs_root_for_testing")(
        folder.empty() ? nullptr : folder.c_str());
}

void setLedModuleLogindTimeout(unsigned milliseconds)
{
    ledModuleHook<void (*)(unsigned)>("bw_leds_set_logind_timeout_for_testing")(milliseconds);
}
