#include "LedModuleHooks.h"

#include <dlfcn.h>
#include <stdexcept>
#include <string>

namespace fs = std::filesystem;

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

void refuseLedModuleWrites(bool refuse)
{
    ledModuleHook<void (*)(int)>("bw_leds_refuse_writes_for_testing")(refuse ? 1 : 0);
}
