// How the LED module reads: an LED as found, a write as the event it is, if any, and a key read
// as what the state says.
#include "ledservice/LedDecision.h"
#include "serviceabi/ServiceContract.h"

#include <cmath>

namespace LedDecision {
namespace {

// The switch takes integers; a real number counts when it holds a whole value.
std::optional<bool> switchPosition(const PropertyValue& value)
{
    if (value.isInteger())
        return value.integerValue() != 0;
    if (value.isReal() && std::isfinite(value.doubleValue()) &&
        value.doubleValue() == std::trunc(value.doubleValue()))
        return value.doubleValue() != 0;
    return std::nullopt;
}

} // namespace

// Level 1.0 is the factory brightness: the brightness the tables written to the module say the
// LED had before Beamwick first touched it, and only where they do not say (a table saved by an
// earlier version, nothing written yet) the brightness found here. So a run that ended without
// quitting, at a dim moment, does not make the dim step the factory's.
LedState load(const Found& found)
{
    LedState state;
    state.max = found.max;
    state.ledCode = found.ledCode;
    const unsigned shown = found.brightness.value_or(0);
    auto& factory = state.factory;
    factory.found = shown;
    state.on = shown > 0;
    state.keySeen = found.lastKey ? std::to_string(*found.lastKey) : "-";
    if (found.trigger)
        factory.trigger = FactoryRows::triggerCode(*found.trigger);

    // A note about this LED that the firmware has not overtaken: a Beamwick that ended without
    // quitting held it on, and whatever it shows is that Beamwick's doing.
    const auto& note = found.note;
    if (note && note->hardwareMark == state.keySeen) {
        state.note = note->dark ? LedState::Note::dark : LedState::Note::lit;
        // Dark as noted, it is still on. Dark with a lit note, someone switched it off since;
        // lit with a dark note, someone switched it on.
        if (note->dark && shown == 0)
            state.on = true;
        factory.litByOthersAt =
            note->dark && shown > 0 ? std::optional(shown) : note->litByOthersAt;
        // The step shown is that Beamwick's leftover (a dim moment of a breath), and a trigger
        // of none its own detaching: neither is the user's. Without a table that says better,
        // the LED counts as found off, whose level 1.0 is what someone else lit it at, if known.
        if (!(note->dark && shown > 0))
            factory.found = 0;
        if (found.trigger == "none")
            factory.trigger.reset();
    } else if (shown > 0) {
        factory.litByOthersAt = shown;
        // Shown as the firmware last set it: a key pressed while Beamwick was not driving the
        // LED, which is how bright the user wants it now, whatever an earlier table says.
        factory.chosenByUser = found.lastKey == shown;
    }
    // A key pressed since a Beamwick noted this LED, and seen by none (the LED was away while it
    // was driven): the brightness it set is how bright the user wants the LED, over any table.
    const unsigned keyed = found.lastKey.value_or(factory.found);
    if (note && note->hardwareMark != state.keySeen && keyed > 0) {
        factory.chosenByUser = true;
        factory.found = keyed;
    }
    return state;
}

std::optional<Event> eventFor(std::string_view key, const PropertyValue& value)
{
    if (key == ServiceContract::backlightModeKey) {
        if (const auto on = switchPosition(value))
            return Switch{*on};
        return std::nullopt;
    }
    if (key == ServiceContract::tableKey) {
        auto rows = FactoryRows::accept(value);
        if (!rows)
            return std::nullopt;
        if (FactoryRows::isWhole(*rows))
            return HandBack{std::move(*rows)};
        return Dim{std::move(*rows)};
    }
    if (key == ServiceContract::followTauKey) {
        if (!value.isNumber() || !std::isfinite(value.doubleValue()) || value.doubleValue() < 0)
            return std::nullopt;
        return FollowTau{value.doubleValue()};
    }
    if (key == ServiceContract::hardwareBrightnessChangedKey) {
        if (!value.isNumber())
            return std::nullopt;
        return Key{};
    }
    if (key == ServiceContract::desktopBrightnessKey) {
        if (!value.isArray() || value.items().size() != 2 || !value.items()[0].isInteger() ||
            !value.items()[1].isInteger())
            return std::nullopt;
        return DesktopLevel{value.items()[0].integerValue(), value.items()[1].integerValue()};
    }
    return std::nullopt;
}

std::optional<PropertyValue> answer(const LedState& state, std::string_view key,
                                    const LedReads& led)
{
    if (key == ServiceContract::backlightModeKey) {
        // The module's word, not the step the LED shows: held at step 0 it is still on, and after
        // a wake in which the firmware reset the light, on or off is what Beamwick puts back.
        if (!led.brightness())
            return std::nullopt;
        return PropertyValue::integer(state.on ? 1 : 0);
    }
    if (key == ServiceContract::tableKey) {
        if (!led.isPresent())
            return std::nullopt;
        return PropertyValue::table(
            FactoryRows::encode(state.factory.found, state.factory.trigger, state.ledCode));
    }
    if (key == ServiceContract::followTauKey)
        return PropertyValue::real(state.followTau);
    if (key == ServiceContract::hardwareBrightnessChangedKey)
        return PropertyValue::integer(state.factory.chosenByUser ? 1 : 0);
    return std::nullopt;
}

} // namespace LedDecision
