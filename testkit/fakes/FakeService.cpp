#include "testkit/fakes/FakeService.h"

#include "serviceabi/AbiValue.h"

#include <dlfcn.h>
#include <stdexcept>

namespace {

template <typename Fn> Fn resolve(void* handle, const char* name)
{
    auto fn = reinterpret_cast<Fn>(dlsym(handle, name));
    if (!fn)
        throw std::runtime_error(std::string("fake service lacks ") + name);
    return fn;
}

} // namespace

FakeService::FakeService(const std::string& modulePath)
{
    void* handle = dlopen(modulePath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        throw std::runtime_error("cannot load " + modulePath);
    m_reset = resolve<fake_service_reset_fn>(handle, "fake_service_reset");
    m_setProperty = resolve<fake_service_set_property_fn>(handle, "fake_service_set_property");
    m_setRefusing = resolve<fake_service_set_refusing_fn>(handle, "fake_service_set_refusing");
    m_writeCount = resolve<fake_service_write_count_fn>(handle, "fake_service_write_count");
    m_writeKey = resolve<fake_service_write_key_fn>(handle, "fake_service_write_key");
    m_writeValue = resolve<fake_service_write_value_fn>(handle, "fake_service_write_value");
    m_held = resolve<fake_service_count_fn>(handle, "fake_service_values_held_by_callers");
    m_instances = resolve<fake_service_count_fn>(handle, "fake_service_instances");
}

void FakeService::reset()
{
    m_reset();
}

void FakeService::setProperty(const std::string& key, const std::optional<PropertyValue>& value)
{
    if (!value) {
        m_setProperty(key.c_str(), nullptr);
        return;
    }
    AbiValue abi(*value);
    m_setProperty(key.c_str(), abi.get());
}

void FakeService::setRefusing(const std::string& key, bool refusing)
{
    m_setRefusing(key.c_str(), refusing ? 1 : 0);
}

std::vector<std::pair<std::string, PropertyValue>> FakeService::writes() const
{
    std::vector<std::pair<std::string, PropertyValue>> out;
    for (std::size_t i = 0; i < m_writeCount(); ++i)
        out.emplace_back(m_writeKey(i), *fromAbiValue(m_writeValue(i)));
    return out;
}

std::vector<PropertyValue> FakeService::writesOf(const std::string& key) const
{
    std::vector<PropertyValue> out;
    for (auto& [k, v] : writes()) {
        if (k == key)
            out.push_back(v);
    }
    return out;
}

double levelOf(const PropertyValue& table)
{
    return table.items().at(0).items().at(1).doubleValue() / 100.0;
}
