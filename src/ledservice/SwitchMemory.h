#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// What Beamwick last left on an LED it holds switched on, kept for the next process.
//
// The LED alone cannot say whether a Beamwick that ended without quitting (a kill, a crash) had
// it on: on an LED with few steps a dim moment is written as step 0, which reads the same as off.
// So while the LED is on the service keeps a note of it here, rewritten only when the step it
// shows crosses 0, and removed when the LED is switched off or handed back. The note lives in the
// user's runtime folder: it goes at logout and reboot, when the LED is the firmware's again, and
// lies on a memory file system, so a note per crossing costs no disk write. A note that cannot
// be read is no note.
//
// The file holds one note per LED, so that holding one LED never costs the note of another: a
// Beamwick killed on one LED and then run on another still knows, back on the first, that what
// it shows is its own leftover.
class SwitchMemory {
public:
    struct Note {
        // The LED's folder, so a note never speaks for another LED.
        std::string led;
        // The last step shown was 0.
        bool dark = false;
        // What the firmware's own last change said then (brightness_hw_changed), so that a
        // hotkey pressed since tells the note is out of date.
        std::string hardwareMark;
        // The brightness someone else had lit the LED at, where that is level 1.0.
        std::optional<unsigned> litByOthersAt;

        bool operator==(const Note&) const = default;
    };

    // An empty path keeps no notes.
    explicit SwitchMemory(std::filesystem::path file = {});

    // The note in the user's runtime folder ($XDG_RUNTIME_DIR), or an empty path without one.
    static std::filesystem::path defaultFile(const char* runtimeFolder);

    // The note about the LED in folder `led`.
    std::optional<Note> read(const std::string& led) const;
    // Replaces the note about note.led, keeping the others.
    void write(const Note& note) const;
    void clear(const std::string& led) const;

private:
    // Every note in the file; nothing when it is missing or damaged.
    std::optional<std::vector<Note>> readAll() const;
    void writeAll(const std::vector<Note>& notes) const;

    std::filesystem::path m_file;
};
