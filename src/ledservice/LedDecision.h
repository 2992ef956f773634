#pragma once

#include "ledservice/LedEffects.h"
#include "ledservice/LedFiles.h"
#include "ledservice/LedState.h"
#include "ledservice/NoteStore.h"
#include "serviceabi/FactoryRows.h"
#include "serviceabi/PropertyValue.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

// How the LED module answers everything it is told of one LED: from a state and an event, the
// next state and the effects that bring the LED and its note there. Nothing here writes; the
// LED is only read, as it is now. LedService carries the effects out.
//
// The note errs towards "on" whatever the order of a kill: it turns dark before the LED does and
// lit after it, so a process killed in between leaves either a lit LED, which reads on by itself,
// or a dark note over a dark one.
namespace LedDecision {

// The LED as found when the module takes it, with the note about it.
struct Found {
    // The LED's name, as FactoryRows codes it.
    double ledCode = 0;
    unsigned max = 1;
    std::optional<unsigned> brightness;
    std::optional<std::string> trigger;
    std::optional<unsigned> lastKey;
    std::optional<LedNote> note;
};

struct Switch {
    bool on;
};
// A table dimming the LED to its level.
struct Dim {
    FactoryRows::Table rows;
};
// The factory table whole: the LED given back as found.
struct HandBack {
    FactoryRows::Table rows;
};
// The firmware changed the brightness itself: take what it set.
struct Key {};
// The desktop set a keyboard light of that highest step to that raw brightness.
struct DesktopLevel {
    std::int64_t brightness;
    std::int64_t max;
};
struct FollowTau {
    double seconds;
};
using Event = std::variant<Switch, Dim, HandBack, Key, DesktopLevel, FollowTau>;

LedState load(const Found& found);

// The event a value written under a key is, when it is one; nothing for a key or value the
// module does not take.
std::optional<Event> eventFor(std::string_view key, const PropertyValue& value);

LedOutcome decide(const LedState& state, const Event& event, const LedReads& led);

// What the module answers for a key read, where the state says.
std::optional<PropertyValue> answer(const LedState& state, std::string_view key,
                                    const LedReads& led);

} // namespace LedDecision
