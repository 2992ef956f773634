#include "brightness/Brightness.h"

#include "serviceabi/AbiValue.h"
#include "serviceabi/ServiceContract.h"

#include <dlfcn.h>
#include <filesystem>
#include <system_error>

namespace {

bool isGenuineClass(const bw_service_class* cls)
{
    // Only a class this client can drive is taken: one of the interface version it speaks, with
    // every entry point present. Anything else leaves the client unavailable.
    return cls->abi_version == BW_SERVICE_ABI_VERSION && cls->name && cls->create && cls->destroy &&
           cls->method_implementation && cls->copy_property && cls->release_value;
}

} // namespace

Brightness::Brightness() : Brightness(defaultModulePath()) {}

Brightness::Brightness(const std::string& modulePath)
{
    if (modulePath.empty())
        return;
    // The handle is deliberately neither kept nor closed: the module stays loaded for the life
    // of the process, so nothing it handed out can outlive its code.
    void* handle = dlopen(modulePath.c_str(), RTLD_LAZY | RTLD_LOCAL);
    if (!handle)
        return;
    auto lookup = reinterpret_cast<bw_service_lookup_fn>(dlsym(handle, BW_SERVICE_LOOKUP_SYMBOL));
    if (!lookup)
        return;
    take(lookup(ServiceContract::className));
}

Brightness::Brightness(const bw_service_class* cls)
{
    take(cls);
}

void Brightness::take(const bw_service_class* cls)
{
    if (!cls || !isGenuineClass(cls))
        return;
    auto setImp = reinterpret_cast<bw_set_property_imp>(
        cls->method_implementation(ServiceContract::setSelector));
    if (!setImp)
        return;
    m_class = cls;
    m_client = cls->create();
    m_setImp = m_client ? setImp : nullptr;
}

Brightness::~Brightness()
{
    if (m_client)
        m_class->destroy(m_client);
}

std::string Brightness::defaultModulePath()
{
    std::error_code error;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return {};
    return (exe.parent_path().parent_path() / "lib" / "beamwick" / defaultModuleName).string();
}

std::optional<PropertyValue> Brightness::get(const std::string& key) const
{
    if (!m_client)
        return std::nullopt;
    bw_value* answer = m_class->copy_property(m_client, ServiceContract::copySelector, key.c_str());
    if (!answer)
        return std::nullopt;
    auto value = fromAbiValue(answer);
    m_class->release_value(answer);
    return value;
}

bool Brightness::set(const PropertyValue& value, const std::string& key)
{
    if (!m_client || !m_setImp)
        return false;
    AbiValue abi(value);
    return m_setImp(m_client, ServiceContract::setSelector, abi.get(), key.c_str()) != 0;
}
