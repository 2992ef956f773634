#pragma once

#include "brightness/Brightness.h"
#include "ledservice/LedTree.h"
#include "ledservice/NoteStore.h"
#include "testkit/fakes/FakeLedTree.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

// LEDs, and the LED module's notes, held in memory: laid out and changed as FakeLedTree lays
// them out on disk, and read by the module's own code as it reads those, run in this process.
// What the module does over them takes no system call, so random stories of light events run a
// hundred times faster than over files. One at a time: clients() serves the one made last.
class MemoryLeds {
public:
    using Led = FakeLedTree::Led;

    MemoryLeds();
    ~MemoryLeds();
    MemoryLeds(const MemoryLeds&) = delete;
    MemoryLeds& operator=(const MemoryLeds&) = delete;

    // As FakeLedTree's: an LED added replaces one of that name; an attribute written is kept
    // byte for byte; a trigger written bare reads as the kernel shows it only after
    // showTriggersAsTheKernelDoes().
    void add(const Led& led);
    void remove(const std::string& name);
    int brightness(const std::string& name) const;
    std::string text(const std::string& name, const char* attribute) const;
    void write(const std::string& name, const char* attribute, const std::string& text);
    void showTriggersAsTheKernelDoes();
    // While set, every brightness write fails, as one to a busy device does.
    void refuseWrites(bool refuse) { m_refusing = refuse; }
    // Called after each write the module makes, to an LED or a note, taken or not: where a kill
    // could come.
    std::function<void()> afterWrite;

    // The file the module names for an LED's key changes.
    static std::string keyFile(const std::string& name);
    const std::map<std::string, LedNote>& notes() const { return m_notes; }

    // A client of the LED module's client type over these LEDs, as one loaded from its file
    // would be: BEAMWICK_LED names the LED to drive, and the notes are kept here.
    std::unique_ptr<Brightness> client() const;
    // The module's two seams over these LEDs and notes, for its parts on their own.
    std::unique_ptr<LedTree> tree();
    std::unique_ptr<NoteStore> noteStore();

private:
    class Files;
    class Tree;
    class Notes;
    struct Entry {
        std::map<std::string, std::string> files;
        std::vector<std::string> triggers;
    };
    const Entry* find(const std::string& name) const;
    bool written(bool taken);

    std::map<std::string, Entry> m_leds;
    std::map<std::string, LedNote> m_notes;
    bool m_refusing = false;
};
