// The LED module's decisions: each event a user, the firmware or the desktop makes, from one
// state to the next.
#include "ledservice/LedDecision.h"

#include "ledservice/LedPlan.h"
#include "serviceabi/ServiceContract.h"

#include <cmath>

namespace LedDecision {
namespace {

using Note = LedState::Note;

std::string markOf(std::optional<unsigned> lastKey)
{
    return lastKey ? std::to_string(*lastKey) : "-";
}

// What a table written to the LED says of its factory state: nothing when it is a whole table
// of another LED; after a key, the user's brightness stands over the one a table carries.
LedState learn(LedState state, const FactoryRows::Table& rows)
{
    const auto led = FactoryRows::ledOf(rows);
    if (led && *led != state.ledCode)
        return state;
    auto& factory = state.factory;
    if (!factory.chosenByUser) {
        // A table that says the LED was found off knows no brightness of the user's: one someone
        // else lit it at since stays level 1.0.
        const auto found = FactoryRows::foundOf(rows);
        if (found && *found == 0 && factory.litByOthersAt)
            factory.found = *factory.litByOthersAt;
        else if (found)
            factory.found = *found;
    }
    if (const auto trigger = FactoryRows::triggerOf(rows))
        factory.trigger = trigger;
    return state;
}

// A brightness someone chose for the LED: its new factory brightness, or off at 0.
void adopt(LedPlan& plan, unsigned brightness, const LedReads& led)
{
    // Every key the firmware tells of came before this choice, also one not taken in yet (pressed
    // while the LED was away and unwatched): quitting or the next start must not trade the
    // user's latest word for that key's.
    LedState& next = plan.next();
    next.keySeen = markOf(led.lastKey());
    // Switched off: the user's factory brightness is still the last one.
    if (brightness == 0) {
        next.on = false;
        plan.note(Note::none);
        return;
    }
    next.factory.chosenByUser = true;
    next.factory.found = brightness;
    next.on = true;
    next.level = 1.0;
    // Noted afresh with the firmware's new mark, or the next start would doubt the note. Dark if
    // the LED shows a dim step of Beamwick's (a desktop's level heard after Beamwick wrote over
    // it), as a write of that step would have noted it, for no later write need come.
    plan.note(led.brightness().value_or(0) == 0 ? Note::dark : Note::lit, true);
}

// The brightness the firmware set last, else the one shown: false when the LED says neither.
bool takeKey(LedPlan& plan, const LedReads& led)
{
    auto brightness = led.lastKey();
    if (!brightness)
        brightness = led.brightness();
    if (!brightness)
        return false;
    adopt(plan, *brightness, led);
    return true;
}

std::optional<std::string> triggerToRestore(const LedState& state, const LedReads& led)
{
    if (!state.factory.trigger)
        return std::nullopt;
    const auto current = led.trigger();
    if (current && FactoryRows::triggerCode(*current) == *state.factory.trigger)
        return std::nullopt;
    for (const auto& name : led.triggers()) {
        if (FactoryRows::triggerCode(name) == *state.factory.trigger)
            return name;
    }
    // The trigger is gone (its module unloaded): the brightness is all that can be given back.
    return std::nullopt;
}

LedOutcome switchTo(const LedState& state, bool on, const LedReads& led)
{
    LedPlan plan(state);
    // The level of the table written last, kept while the LED was off: never a stale one.
    if (on) {
        plan.light(state.mapping().brightnessFor(state.level), led);
    } else {
        plan.must(LedEffect::WriteBrightness{0});
        plan.note(Note::none);
    }
    plan.next().on = on;
    return plan.done();
}

LedOutcome dim(const LedState& state, const FactoryRows::Table& rows, const LedReads& led)
{
    LedPlan plan(learn(state, rows));
    const double level = FactoryRows::levelOf(rows);
    if (plan.next().on)
        plan.light(plan.next().mapping().brightnessFor(level), led);
    else if (!led.isPresent())
        return plan.refuse();
    plan.next().level = level;
    return plan.done();
}

// What a load would make of the LED as it shows now, with the note as this state knows it: where
// a key was pressed that nothing took in, the state knows no more of the LED than that.
LedState reloaded(const LedState& state, const LedReads& led)
{
    std::optional<LedNote> note;
    if (state.note != Note::none)
        note = LedNote{{}, state.note == Note::dark, state.keySeen, state.factory.litByOthersAt};
    LedState fresh =
        load({state.ledCode, state.max, led.brightness(), led.trigger(), led.lastKey(), note});
    fresh.followTau = state.followTau;
    return fresh;
}

LedOutcome handBack(const LedState& state, const FactoryRows::Table& rows, const LedReads& led)
{
    // A key pressed while nothing watched for it (the LED was away a moment and came back
    // unwatched) is the user's word all the same, over the table handed back; whatever Beamwick
    // wrote since, on or off, the LED shows. The note written before that key stays as it is:
    // out of date, it tells the next process too that a key was pressed since.
    // An LED away says nothing of its keys.
    const bool keyUnseen = led.isPresent() && markOf(led.lastKey()) != state.keySeen;
    LedPlan plan(learn(keyUnseen ? reloaded(state, led) : state, rows));
    plan.next().level = 1.0;
    // Quitting does not switch the LED: one that is off stays dark, and keeps no trigger that
    // could light it.
    if (!plan.next().on) {
        if (!led.isPresent())
            return plan.refuse();
        plan.note(Note::none);
        return plan.done();
    }
    // Not light(): an LED never written in this run still has its trigger, which stays. The
    // brightness goes first: writing 0 drops the trigger, so the trigger must come after it.
    plan.holdOnFailure();
    plan.must(LedEffect::WriteBrightness{plan.next().mapping().factoryBrightness()});
    if (const auto trigger = triggerToRestore(plan.next(), led))
        plan.soft(LedEffect::WriteTrigger{*trigger});
    plan.next().trigger = LedState::Trigger::attached;
    // Handed back, the LED is the user's again.
    plan.note(Note::none);
    return plan.done();
}

LedOutcome desktop(const LedState& state, const DesktopLevel& level, const LedReads& led)
{
    LedPlan plan(state);
    // The desktop's control serves one keyboard light; a light of another range is not the one
    // it set. What the LED shows now says nothing either way: the desktop may have set a newer
    // level since, which comes next, or Beamwick may have written over this one already. The
    // levels come in the order the desktop set them, so the last one taken is its latest.
    if (level.brightness < 0 || level.brightness > level.max ||
        level.max != std::int64_t{state.max} || !led.isPresent())
        return plan.refuse();
    // A 0 heard after Beamwick wrote over it (set in a burst): put out, as the user had it. An
    // LED that cannot be put out stays on, and the change is refused. (A key's 0 needs neither:
    // the firmware has put the LED out itself.)
    if (level.brightness == 0 && led.brightness().value_or(0) > 0)
        plan.must(LedEffect::WriteBrightness{0});
    adopt(plan, static_cast<unsigned>(level.brightness), led);
    return plan.done();
}

} // namespace

LedOutcome decide(const LedState& state, const Event& event, const LedReads& led)
{
    if (const auto* e = std::get_if<Switch>(&event))
        return switchTo(state, e->on, led);
    if (const auto* e = std::get_if<Dim>(&event))
        return dim(state, e->rows, led);
    if (const auto* e = std::get_if<HandBack>(&event))
        return handBack(state, e->rows, led);
    if (const auto* e = std::get_if<DesktopLevel>(&event))
        return desktop(state, *e, led);
    LedPlan plan(state);
    if (const auto* e = std::get_if<FollowTau>(&event)) {
        plan.next().followTau = e->seconds;
        return plan.done();
    }
    if (!takeKey(plan, led))
        return plan.refuse();
    return plan.done();
}

} // namespace LedDecision
