#include "ledservice/SwitchMemory.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <fcntl.h>
#include <sstream>
#include <unistd.h>

namespace {

constexpr const char* kHeader = "beamwick led note 1";
constexpr const char* kNone = "-";
constexpr const char* kFileName = "beamwick-led.note";
constexpr std::size_t kMaxNoteBytes = 4096;

bool writeFully(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t put = ::write(fd, text.data() + done, text.size() - done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        done += static_cast<std::size_t>(put);
    }
    return true;
}

} // namespace

SwitchMemory::SwitchMemory(std::filesystem::path file) : m_file(std::move(file)) {}

std::filesystem::path SwitchMemory::defaultFile(const char* runtimeFolder)
{
    if (!runtimeFolder)
        return {};
    const std::filesystem::path folder(runtimeFolder);
    // A relative folder would put the note wherever the process happens to run.
    if (!folder.is_absolute())
        return {};
    return folder / kFileName;
}

std::optional<std::vector<SwitchMemory::Note>> SwitchMemory::readAll() const
{
    if (m_file.empty())
        return std::nullopt;
    const int fd = ::open(m_file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    std::string text(kMaxNoteBytes, '\0');
    ssize_t got;
    do {
        got = ::read(fd, text.data(), text.size());
    } while (got < 0 && errno == EINTR);
    ::close(fd);
    if (got <= 0)
        return std::nullopt;
    text.resize(static_cast<std::size_t>(got));

    std::istringstream lines(text);
    std::string header;
    if (!std::getline(lines, header) || header != kHeader)
        return std::nullopt;
    // A file of the earlier single-note layout is read as a file of one note.
    std::vector<Note> notes;
    for (Note note; std::getline(lines, note.led);) {
        std::string shown, lit;
        if (note.led.empty() || !std::getline(lines, shown) ||
            !std::getline(lines, note.hardwareMark) || !std::getline(lines, lit))
            return std::nullopt;
        if (shown != "dark" && shown != "lit")
            return std::nullopt;
        note.dark = shown == "dark";
        note.litByOthersAt.reset();
        if (lit != kNone) {
            unsigned value = 0;
            const auto [end, error] = std::from_chars(lit.data(), lit.data() + lit.size(), value);
            if (error != std::errc() || end != lit.data() + lit.size() || lit.empty())
                return std::nullopt;
            note.litByOthersAt = value;
        }
        notes.push_back(note);
    }
    if (notes.empty())
        return std::nullopt;
    return notes;
}

std::optional<SwitchMemory::Note> SwitchMemory::read(const std::string& led) const
{
    const auto notes = readAll();
    if (!notes)
        return std::nullopt;
    for (const auto& note : *notes) {
        if (note.led == led)
            return note;
    }
    return std::nullopt;
}

void SwitchMemory::write(const Note& note)
{
    // A damaged file is no note of any LED: it is replaced.
    auto notes = readAll().value_or(std::vector<Note>());
    std::erase_if(notes, [&](const Note& old) { return old.led == note.led; });
    notes.push_back(note);
    writeAll(notes);
}

void SwitchMemory::clear(const std::string& led)
{
    auto notes = readAll().value_or(std::vector<Note>());
    std::erase_if(notes, [&](const Note& old) { return old.led == led; });
    if (notes.empty()) {
        if (!m_file.empty())
            ::unlink(m_file.c_str());
        return;
    }
    writeAll(notes);
}

void SwitchMemory::writeAll(const std::vector<Note>& notes) const
{
    if (m_file.empty())
        return;
    std::string text = std::string(kHeader) + "\n";
    for (const auto& note : notes)
        text += note.led + "\n" + (note.dark ? "dark" : "lit") + "\n" + note.hardwareMark + "\n" +
                (note.litByOthersAt ? std::to_string(*note.litByOthersAt) : std::string(kNone)) +
                "\n";
    // A new file renamed over the old one: a process killed halfway leaves the old notes or the
    // new ones, never half of them.
    const std::filesystem::path fresh = m_file.string() + ".new";
    const int fd =
        ::open(fresh.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return;
    const bool written = writeFully(fd, text);
    ::close(fd);
    if (!written || std::rename(fresh.c_str(), m_file.c_str()) != 0)
        ::unlink(fresh.c_str());
}
