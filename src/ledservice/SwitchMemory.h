#pragma once

#include "ledservice/NoteStore.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// The notes kept in a file of the user's runtime folder: they go at logout and reboot, when the
// LED is the firmware's again, and lie on a memory file system, so a note per crossing of step 0
// costs no disk write. A file that cannot be read holds no note.
//
// The file holds one note per LED: a Beamwick killed on one LED and then run on another still
// knows, back on the first, that what it shows is its own leftover.
class SwitchMemory final : public NoteStore {
public:
    using Note = LedNote;

    // An empty path keeps no notes.
    explicit SwitchMemory(std::filesystem::path file = {});

    // The note in the user's runtime folder ($XDG_RUNTIME_DIR), or an empty path without one.
    static std::filesystem::path defaultFile(const char* runtimeFolder);

    std::optional<Note> read(const std::string& led) const override;
    void write(const Note& note) override;
    void clear(const std::string& led) override;

private:
    // Every note in the file; nothing when it is missing or damaged.
    std::optional<std::vector<Note>> readAll() const;
    void writeAll(const std::vector<Note>& notes) const;

    std::filesystem::path m_file;
};
