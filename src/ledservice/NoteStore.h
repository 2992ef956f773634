#pragma once

#include <optional>
#include <string>

// What Beamwick last left on an LED it holds switched on, kept for the next process.
//
// The LED alone cannot say whether a Beamwick that ended without quitting (a kill, a crash) had
// it on: on an LED with few steps a dim moment is written as step 0, which reads the same as off.
// So while the LED is on the module keeps a note of it, rewritten only when the step it shows
// crosses 0, and removed when the LED is switched off or handed back.
struct LedNote {
    // The LED's folder, so a note never speaks for another LED.
    std::string led;
    // The last step shown was 0.
    bool dark = false;
    // What the firmware's own last change said then (brightness_hw_changed), so that a hotkey
    // pressed since tells the note is out of date.
    std::string hardwareMark;
    // The brightness someone else had lit the LED at, where that is level 1.0.
    std::optional<unsigned> litByOthersAt;

    bool operator==(const LedNote&) const = default;
};

// Where the notes live: one per LED, so that holding one LED never costs the note of another.
// Writing is best effort: a note that cannot be written is no note, as one that cannot be read.
class NoteStore {
public:
    virtual ~NoteStore() = default;
    // The note about the LED in folder `led`.
    virtual std::optional<LedNote> read(const std::string& led) const = 0;
    // Replaces the note about note.led, keeping the others.
    virtual void write(const LedNote& note) = 0;
    virtual void clear(const std::string& led) = 0;
};
