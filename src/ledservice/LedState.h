#pragma once

#include "ledservice/LevelMapping.h"

#include <cstdint>
#include <optional>
#include <string>

// All the LED module knows of one LED, as one value: what the factory state is, whether the LED
// is on, and what Beamwick has left on the LED and in its note. LedDecision alone makes one
// state from another.
struct LedState {
    // What the note on disk says, as this process knows it: nothing, or the step shown last is
    // above 0 or is 0.
    enum class Note : std::uint8_t { none, lit, dark };
    // Beamwick detaches the trigger before its first write while on, since an active trigger
    // would keep driving the LED; handing the LED back attaches the factory one again.
    enum class Trigger : std::uint8_t { attached, detached };
    // The phase, named: off; lit as the user left it (nothing of Beamwick's on it); lit by
    // Beamwick; or held at Beamwick's step 0, which only the note tells from off.
    enum class Phase : std::uint8_t { off, asFound, lit, heldDark };

    // The factory state as far as known: found at load until a table or a key says better.
    struct Factory {
        // The brightness before Beamwick first drove the LED; 0: it was off.
        unsigned found = 0;
        // Its trigger then, as FactoryRows codes it; nothing when none is known.
        std::optional<double> trigger;
        // A key or the desktop set `found` since: the user's choice stands over the tables.
        bool chosenByUser = false;
        // The brightness someone other than Beamwick lit the LED at: level 1.0 where the tables
        // say it was found off.
        std::optional<unsigned> litByOthersAt;
        bool operator==(const Factory&) const = default;
    };

    // The LED's highest step, and its name as FactoryRows codes it.
    unsigned max = 1;
    double ledCode = 0;
    Factory factory;
    // The firmware's mark of the last brightness key taken in: a number, or "-" for none yet.
    std::string keySeen = "-";
    bool on = false;
    Note note = Note::none;
    Trigger trigger = Trigger::attached;
    // The level of the table written last, kept while the LED is off.
    double level = 1.0;
    // Kept and read back, never used: the controller shapes every fade itself.
    double followTau = 0.0;

    Phase phase() const;
    // Level 1.0 is the factory brightness, or, found off, what someone else lit the LED at.
    LevelMapping mapping() const;

    bool operator==(const LedState&) const = default;
};
