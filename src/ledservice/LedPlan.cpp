#include "ledservice/LedPlan.h"

LedPlan::LedPlan(const LedState& state) : m_outcome{state, state, {}, true} {}

LedEffect::Any LedPlan::noteEffect(Note want) const
{
    if (want == Note::none)
        return LedEffect::ClearNote{};
    // The mark of the last key taken in: one unseen yet keeps the note out of date, so that the
    // next process still takes that key as the user's.
    const LedState& s = m_outcome.next;
    return LedEffect::WriteNote{want == Note::dark, s.keySeen, s.factory.litByOthersAt};
}

void LedPlan::note(Note want, bool afresh)
{
    if (m_outcome.next.note == want && !afresh)
        return;
    m_outcome.steps.push_back({noteEffect(want), false, {}});
    m_outcome.next.note = want;
}

std::vector<LedEffect::Any> LedPlan::noteBack(Note want) const
{
    if (m_outcome.next.note == want)
        return {};
    return {noteEffect(want)};
}

void LedPlan::must(LedEffect::Any effect, std::vector<LedEffect::Any> undo)
{
    m_outcome.steps.push_back({std::move(effect), true, std::move(undo)});
}

void LedPlan::soft(LedEffect::Any effect)
{
    m_outcome.steps.push_back({std::move(effect), false, {}});
}

void LedPlan::light(unsigned step, const LedReads& led)
{
    // A write that fails leaves the LED as it was, and so the note, and the trigger detached for
    // this write: an LED that stays off keeps the trigger it was found with, which no later run
    // would know to give back.
    const Note before = m_outcome.next.note;
    std::vector<LedEffect::Any> undo;
    if (m_outcome.next.trigger == LedState::Trigger::attached) {
        // With a trigger such as timer or heartbeat active, a step above 0 only sets the
        // brightness it blinks with, and the two would fight. Either way of detaching it darkens
        // the LED for a moment, so the note does first.
        const auto active = led.trigger();
        if (active && *active != "none") {
            note(Note::dark);
            must(LedEffect::DetachTrigger{}, noteBack(before));
            undo.push_back(LedEffect::WriteTrigger{*active});
        }
        m_outcome.next.trigger = LedState::Trigger::detached;
    }
    if (step == 0)
        note(Note::dark);
    for (auto& effect : noteBack(before))
        undo.push_back(std::move(effect));
    must(LedEffect::WriteBrightness{step}, std::move(undo));
    if (step > 0)
        note(Note::lit);
}

LedOutcome LedPlan::refuse()
{
    m_outcome.answer = false;
    return done();
}
