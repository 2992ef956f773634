#pragma once

#include "ledservice/LedState.h"

#include <optional>
#include <string>
#include <variant>
#include <vector>

// What the LED module's decisions ask to be done, and what each outcome is once done.
namespace LedEffect {

struct WriteNote {
    bool dark;
    std::string hardwareMark;
    std::optional<unsigned> litByOthersAt;
    bool operator==(const WriteNote&) const = default;
};
struct ClearNote {
    bool operator==(const ClearNote&) const = default;
};
struct WriteBrightness {
    unsigned step;
    bool operator==(const WriteBrightness&) const = default;
};
// The trigger set to "none", or where that is refused, a step of 0, on which the kernel
// detaches it too: logind writes steps for a user who may not write the trigger attribute.
struct DetachTrigger {
    bool operator==(const DetachTrigger&) const = default;
};
struct WriteTrigger {
    std::string trigger;
    bool operator==(const WriteTrigger&) const = default;
};

using Any = std::variant<WriteNote, ClearNote, WriteBrightness, DetachTrigger, WriteTrigger>;

// One effect in order. Notes always take; a write may fail: one that must succeed ends the
// outcome there, with `undo` carried out and the failed state taken; any other only makes the
// answer false.
struct Step {
    Any effect;
    bool mustSucceed = false;
    std::vector<Any> undo;
};

} // namespace LedEffect

// The next state once every step is carried out, the state taken where a step that must succeed
// fails, and the answer to the caller when none does.
struct LedOutcome {
    LedState next;
    LedState failed;
    std::vector<LedEffect::Step> steps;
    bool answer = true;
};
