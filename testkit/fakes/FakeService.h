#pragma once

#include "serviceabi/PropertyValue.h"
#include "serviceabi/ServiceContract.h"
#include "testkit/fakes/FakeServiceApi.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

// Drives the recording service module loaded in this process (the same handle the Brightness
// client gets for the same path).
class FakeService {
public:
    explicit FakeService(const std::string& modulePath = FAKE_SERVICE_MODULE_PATH);

    static constexpr const char* tableKey = ServiceContract::tableKey;

    void reset();
    void setProperty(const std::string& key, const std::optional<PropertyValue>& value);
    void setRefusing(const std::string& key, bool refusing);

    std::vector<std::pair<std::string, PropertyValue>> writes() const;
    std::vector<PropertyValue> writesOf(const std::string& key) const;
    std::size_t writeCount() const { return m_writeCount(); }
    std::size_t valuesHeldByCallers() const { return m_held(); }
    std::size_t instances() const { return m_instances(); }

private:
    fake_service_reset_fn m_reset = nullptr;
    fake_service_set_property_fn m_setProperty = nullptr;
    fake_service_set_refusing_fn m_setRefusing = nullptr;
    fake_service_write_count_fn m_writeCount = nullptr;
    fake_service_write_key_fn m_writeKey = nullptr;
    fake_service_write_value_fn m_writeValue = nullptr;
    fake_service_count_fn m_held = nullptr;
    fake_service_count_fn m_instances = nullptr;
};

// The second number of every row of a written table divided by the factory's: the level it
// encodes, for tables written over the fake's default [[10, 100], [20, 400]].
double levelOf(const PropertyValue& table);
