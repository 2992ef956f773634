#pragma once

#include "ledservice/LedEffects.h"
#include "ledservice/LedFiles.h"

// An outcome of the LED module's decisions, built step by step: the effects in order, and the
// state each leaves. Used by LedDecision alone.
class LedPlan {
public:
    using Note = LedState::Note;

    // Until holdOnFailure(), a write that fails leaves `state` as it is.
    explicit LedPlan(const LedState& state);

    LedState& next() { return m_outcome.next; }
    // From here on, a write that fails leaves the state as it is now.
    void holdOnFailure() { m_outcome.failed = m_outcome.next; }

    // The note made to say `want`; `afresh` rewrites it even where it says so already, with
    // the key mark and brightness the state holds now.
    void note(Note want, bool afresh = false);
    // The effects that take the note from what it says now back to `want`.
    std::vector<LedEffect::Any> noteBack(Note want) const;
    // A write that must succeed; where it fails, `undo` puts back what the steps before it did.
    void must(LedEffect::Any effect, std::vector<LedEffect::Any> undo = {});
    // A write whose failure only makes the answer false.
    void soft(LedEffect::Any effect);

    // Lights the LED at `step`, detaching its trigger first where one is active: what every
    // write while on goes through. The note turns dark before the LED does and lit after it.
    void light(unsigned step, const LedReads& led);

    LedOutcome done() { return std::move(m_outcome); }
    // Nothing more is written, and the answer is false; the state is next() as it stands.
    LedOutcome refuse();

private:
    LedEffect::Any noteEffect(Note want) const;

    LedOutcome m_outcome;
};
