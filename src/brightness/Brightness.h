#pragma once

#include "serviceabi/PropertyValue.h"
#include "serviceabi/service_abi.h"

#include <optional>
#include <string>

// The one door to the brightness service: loads a service module at run time, finds its client
// type ServiceContract::className, and reads and writes its properties. Any failing step while
// loading leaves the client unavailable; it never throws.
class Brightness {
public:
    // Loads the module installed with Beamwick (defaultModulePath()).
    Brightness();
    // Loads the module at an explicit path; used by tests and tools, never from user input.
    explicit Brightness(const std::string& modulePath);
    // Drives a client type already in this process, as a loaded module's would be; for tests
    // that run a module's code in-process. Null leaves the client unavailable.
    explicit Brightness(const bw_service_class* cls);
    ~Brightness();
    Brightness(const Brightness&) = delete;
    Brightness& operator=(const Brightness&) = delete;

    static constexpr const char* defaultModuleName = "beamwick-leds.so";

    // bin/../lib/beamwick/beamwick-leds.so beside the running executable.
    static std::string defaultModulePath();

    bool available() const { return m_client != nullptr; }
    bool hasSetImp() const { return m_setImp != nullptr; }

    std::optional<PropertyValue> get(const std::string& key) const;
    bool set(const PropertyValue& value, const std::string& key);

private:
    void take(const bw_service_class* cls);

    const bw_service_class* m_class = nullptr;
    void* m_client = nullptr;
    bw_set_property_imp m_setImp = nullptr;
};
