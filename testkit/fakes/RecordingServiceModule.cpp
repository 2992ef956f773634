// A brightness service module for tests: it serves properties that a test sets, records every
// write in order, and can be told to refuse writes per key. When BEAMWICK_FAKE_SERVICE_LOG names
// a file, every write is also appended there as one line "<monotonic ns> <key> <value>", so a
// test can watch a separate process.
#include "serviceabi/AbiValue.h"
#include "serviceabi/ServiceContract.h"
#include "serviceabi/service_abi.h"
#include "testkit/fakes/FakeServiceApi.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

struct State {
    std::map<std::string, PropertyValue> properties;
    std::map<std::string, bool> refusing;
    std::vector<std::pair<std::string, PropertyValue>> writes;
    std::vector<std::unique_ptr<AbiValue>> writeViews;
    std::map<const bw_value*, std::unique_ptr<AbiValue>> handedOut;
    std::size_t instances = 0;
    bool recording = true;
};

State& state()
{
    static State s;
    return s;
}

void resetState()
{
    State& s = state();
    s.properties.clear();
    s.refusing.clear();
    s.writes.clear();
    s.writeViews.clear();
    // A process watched from outside through the log file may run for hours: the log is its
    // record, and keeping every write in memory as well would look like a leak.
    const char* log = std::getenv("BEAMWICK_FAKE_SERVICE_LOG");
    s.recording = !(log && *log);
    s.properties[ServiceContract::backlightModeKey] = PropertyValue::integer(1);
    s.properties[ServiceContract::tableKey] = PropertyValue::table({{10, 100}, {20, 400}});
}

struct Init {
    Init() { resetState(); }
} init;

std::string render(const PropertyValue& v)
{
    if (v.isInteger())
        return std::to_string(v.integerValue());
    if (v.isReal()) {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%.17g", v.doubleValue());
        return buffer;
    }
    if (v.isString())
        return "\"" + v.stringValue() + "\"";
    std::string out = "[";
    for (std::size_t i = 0; i < v.items().size(); ++i) {
        if (i)
            out += ',';
        out += render(v.items()[i]);
    }
    out += ']';
    return out;
}

void appendToLog(const std::string& key, const PropertyValue& value)
{
    const char* path = std::getenv("BEAMWICK_FAKE_SERVICE_LOG");
    if (!path || !*path)
        return;
    FILE* file = std::fopen(path, "a");
    if (!file)
        return;
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                        std::chrono::steady_clock::now().time_since_epoch())
                        .count();
    std::fprintf(file, "%lld %s %s\n", static_cast<long long>(ns), key.c_str(),
                 render(value).c_str());
    std::fclose(file);
}

void* create()
{
    ++state().instances;
    return &state();
}

void destroy(void*)
{
    --state().instances;
}

int setProperty(void*, const char* selector, const bw_value* value, const char* key)
{
    if (!selector || std::strcmp(selector, ServiceContract::setSelector) != 0 || !key)
        return 0;
    auto converted = fromAbiValue(value);
    if (!converted)
        return 0;
    State& s = state();
    if (s.recording)
        s.writes.emplace_back(key, *converted);
    appendToLog(key, *converted);
    if (s.refusing[key])
        return 0;
    s.properties[key] = *converted;
    return 1;
}

bw_imp methodImplementation(const char* selector)
{
    if (selector && std::strcmp(selector, ServiceContract::setSelector) == 0)
        return reinterpret_cast<bw_imp>(&setProperty);
    return nullptr;
}

bw_value* copyProperty(void*, const char* selector, const char* key)
{
    if (!selector || std::strcmp(selector, ServiceContract::copySelector) != 0 || !key)
        return nullptr;
    State& s = state();
    const auto it = s.properties.find(key);
    if (it == s.properties.end())
        return nullptr;
    auto owned = std::make_unique<AbiValue>(it->second);
    auto* raw = const_cast<bw_value*>(owned->get());
    s.handedOut.emplace(raw, std::move(owned));
    return raw;
}

void releaseValue(bw_value* value)
{
    state().handedOut.erase(value);
}

const bw_service_class kClass = {BW_SERVICE_ABI_VERSION,
                                 ServiceContract::className,
                                 create,
                                 destroy,
                                 methodImplementation,
                                 copyProperty,
                                 releaseValue};

} // namespace

extern "C" {

__attribute__((visibility("default"))) const bw_service_class*
bw_service_lookup_class(const char* name)
{
    return name && std::strcmp(name, kClass.name) == 0 ? &kClass : nullptr;
}

__attribute__((visibility("default"))) void fake_service_reset(void)
{
    resetState();
}

__attribute__((visibility("default"))) void fake_service_set_property(const char* key,
                                                                      const bw_value* value)
{
    if (!value) {
        state().properties.erase(key);
        return;
    }
    if (auto converted = fromAbiValue(value))
        state().properties[key] = *converted;
}

__attribute__((visibility("default"))) void fake_service_set_refusing(const char* key, int refusing)
{
    state().refusing[key] = refusing != 0;
}

__attribute__((visibility("default"))) size_t fake_service_write_count(void)
{
    return state().writes.size();
}

__attribute__((visibility("default"))) const char* fake_service_write_key(size_t index)
{
    return state().writes.at(index).first.c_str();
}

__attribute__((visibility("default"))) const bw_value* fake_service_write_value(size_t index)
{
    State& s = state();
    auto view = std::make_unique<AbiValue>(s.writes.at(index).second);
    const bw_value* raw = view->get();
    s.writeViews.push_back(std::move(view));
    return raw;
}

__attribute__((visibility("default"))) size_t fake_service_values_held_by_callers(void)
{
    return state().handedOut.size();
}

__attribute__((visibility("default"))) size_t fake_service_instances(void)
{
    return state().instances;
}

// Benchmarks write millions of tables; they only need the service to accept them.
__attribute__((visibility("default"))) void fake_service_set_recording(int recording)
{
    state().recording = recording != 0;
}
}
