// The C face of the module: the client type the service contract names, as the service
// interface describes it, over LedService. No C++ exception leaves these functions.
#include "ledservice/ServiceClass.h"

#include "ledservice/LedClient.h"
#include "ledservice/SwitchMemory.h"
#include "serviceabi/AbiValue.h"
#include "serviceabi/ServiceContract.h"
#include "serviceabi/service_abi.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#define BW_EXPORT __attribute__((visibility("default")))

namespace {

constexpr const char* kLedClassFolder = "/sys/class/leds";
// What the module takes from its environment: which LED to drive (Beamwick's one setting of its
// own there), and the user's runtime folder, where it keeps its note of an LED it holds on.
constexpr const char* kLedVariable = "BEAMWICK_LED";
constexpr const char* kRuntimeFolderVariable = "XDG_RUNTIME_DIR";

struct ModuleState {
    std::mutex mutex;
    std::string ledClassFolder = kLedClassFolder;
    std::chrono::milliseconds logindTimeout = LedService::defaultLogindTimeout;
    // Values handed to callers, kept alive until they come back through release_value.
    std::map<const bw_value*, std::unique_ptr<AbiValue>> handedOut;
};

ModuleState& state()
{
    static ModuleState s;
    return s;
}

void* create() noexcept
{
    try {
        std::string root;
        std::chrono::milliseconds timeout;
        {
            std::lock_guard lock(state().mutex);
            root = state().ledClassFolder;
            timeout = state().logindTimeout;
        }
        return LedClient::open(root, std::getenv(kLedVariable), timeout,
                               SwitchMemory::defaultFile(std::getenv(kRuntimeFolderVariable)))
            .release();
    } catch (...) {
        return nullptr;
    }
}

void destroy(void* self) noexcept
{
    delete static_cast<LedClient*>(self);
}

int setProperty(void* self, const char* selector, const bw_value* value, const char* key) noexcept
{
    if (!self || !selector || std::strcmp(selector, ServiceContract::setSelector) != 0 || !key)
        return 0;
    try {
        const auto converted = fromAbiValue(value);
        if (!converted)
            return 0;
        return static_cast<LedClient*>(self)->set(*converted, key) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

bw_imp methodImplementation(const char* selector) noexcept
{
    if (selector && std::strcmp(selector, ServiceContract::setSelector) == 0)
        return reinterpret_cast<bw_imp>(&setProperty);
    return nullptr;
}

bw_value* copyProperty(void* self, const char* selector, const char* key) noexcept
{
    if (!self || !selector || std::strcmp(selector, ServiceContract::copySelector) != 0 || !key)
        return nullptr;
    try {
        const auto value = static_cast<const LedClient*>(self)->get(key);
        if (!value)
            return nullptr;
        auto owned = std::make_unique<AbiValue>(*value);
        auto* raw = const_cast<bw_value*>(owned->get());
        std::lock_guard lock(state().mutex);
        state().handedOut.emplace(raw, std::move(owned));
        return raw;
    } catch (...) {
        return nullptr;
    }
}

void releaseValue(bw_value* value) noexcept
{
    std::unique_ptr<AbiValue> released;
    std::lock_guard lock(state().mutex);
    const auto it = state().handedOut.find(value);
    if (it == state().handedOut.end())
        return;
    released = std::move(it->second);
    state().handedOut.erase(it);
}

const bw_service_class kClass = {BW_SERVICE_ABI_VERSION,
                                 ServiceContract::className,
                                 create,
                                 destroy,
                                 methodImplementation,
                                 copyProperty,
                                 releaseValue};

} // namespace

bw_service_class ledServiceClass(void* (*create)())
{
    bw_service_class cls = kClass;
    cls.create = create;
    return cls;
}

void setModuleLedClassFolder(const char* folder)
{
    std::lock_guard lock(state().mutex);
    state().ledClassFolder = folder ? folder : kLedClassFolder;
}

void setModuleLogindTimeout(std::chrono::milliseconds timeout)
{
    std::lock_guard lock(state().mutex);
    state().logindTimeout = timeout.count() > 0 ? timeout : LedService::defaultLogindTimeout;
}

extern "C" {

BW_EXPORT const bw_service_class* bw_service_lookup_class(const char* name)
{
    return name && std::strcmp(name, ServiceContract::className) == 0 ? &kClass : nullptr;
}
}
