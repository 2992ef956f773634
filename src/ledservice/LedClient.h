#pragma once

#include "ledservice/LedService.h"
#include "ledservice/LedTree.h"
#include "ledservice/NoteStore.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

// One client of the module: the service (LedService) on the light in use, the choice of that
// light (ServiceContract::lightKey and its kin), and the hand-back of any light by name. Every
// other key is the light in use's.
//
// A light chosen for the run alone (BEAMWICK_LED) wins over the user's saved choice, but not
// over a choice made while running. Changing the light leaves the one driven until then as it
// is, for the caller to hand back by name; a light taken again is taken as found.
class LedClient {
public:
    // The client on the LED the rules pick from `tree` for `requested` (LedFinder's order);
    // without one, the light in use reads "" and only a choice of light is taken.
    LedClient(std::unique_ptr<LedTree> tree, std::unique_ptr<NoteStore> notes,
              const char* requested);

    // The client on the LEDs under `root`, its notes in `memoryFile` (none when empty).
    static std::unique_ptr<LedClient> open(const std::filesystem::path& root, const char* requested,
                                           std::chrono::milliseconds logindTimeout,
                                           const std::filesystem::path& memoryFile);

    std::optional<PropertyValue> get(std::string_view key) const;
    bool set(const PropertyValue& value, std::string_view key);

private:
    // The usable LED of that name, or the first the rules pick for "".
    std::unique_ptr<LedFiles> find(const std::string& name) const;
    // Drives the LED of that name from now on; false, changing nothing, when there is no such
    // usable LED.
    bool use(const std::string& name);
    PropertyValue choosable() const;
    bool handBack(const PropertyValue& value);

    std::unique_ptr<LedTree> m_tree;
    std::unique_ptr<NoteStore> m_notes;
    bool m_chosenForThisRun = false;
    // The light in use; none without a light the rules take.
    std::optional<LedService> m_inUse;
};
