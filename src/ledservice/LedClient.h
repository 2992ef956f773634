#pragma once

#include "ledservice/LedService.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

// One client of the module: the service (LedService) on the light in use, and the choice of
// that light (ServiceContract::lightKey and its kin). Every other key is the service's.
//
// A light chosen for the run alone (BEAMWICK_LED) wins over the user's saved choice, but not
// over a choice made while running. Changing the light leaves the one driven until then as it
// is: the caller hands it back first, with its factory table.
class LedClient {
public:
    // The client on the LED that LedFinder picks under `root` for `requested`; without one, the
    // light in use reads "" and only a choice of light is taken. The rest as LedService::open
    // takes it.
    static std::unique_ptr<LedClient> open(const std::filesystem::path& root, const char* requested,
                                           std::chrono::milliseconds logindTimeout,
                                           const std::filesystem::path& memoryFile);

    std::optional<PropertyValue> get(std::string_view key) const;
    bool set(const PropertyValue& value, std::string_view key);

private:
    LedClient(std::filesystem::path root, std::chrono::milliseconds logindTimeout,
              std::filesystem::path memoryFile);

    // Drives the LED of that name, as found now,, or the one the rules pick for "". False, changing
    // nothing, when there is no such usable LED.
    bool use(const std::string& name);
    PropertyValue choosable() const;
    bool handBack(const PropertyValue& value);

    std::filesystem::path m_root;
    std::chrono::milliseconds m_logindTimeout;
    std::filesystem::path m_memoryFile;
    bool m_chosenForThisRun = false;
    std::string m_name;
    std::unique_ptr<LedService> m_service;
};
