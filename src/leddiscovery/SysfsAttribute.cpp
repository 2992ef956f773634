#include "leddiscovery/SysfsAttribute.h"

#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <unistd.h>

namespace SysfsAttribute {

namespace {

// Most attributes fit one page, but some (an LED's trigger list, with a trigger per input
// device or CPU) are longer and come in one read per page. A bound still keeps a file planted
// in place of an attribute from filling memory.
constexpr std::size_t kReadChunkBytes = 4096;
constexpr std::size_t kMaxAttributeBytes = 1024 * 1024;

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor()
    {
        // Don't retry close on EINTR: on Linux the descriptor is gone either way.
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

// O_NONBLOCK keeps a FIFO planted in place of an attribute from stalling the main thread.
constexpr int kOpenFlags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;

} // namespace

std::optional<std::string> read(const std::filesystem::path& path)
{
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | kOpenFlags));
    if (fd.get() < 0)
        return std::nullopt;
    std::string text;
    while (text.size() < kMaxAttributeBytes) {
        const std::size_t had = text.size();
        text.resize(had + kReadChunkBytes);
        ssize_t got;
        do {
            got = ::read(fd.get(), text.data() + had, kReadChunkBytes);
        } while (got < 0 && errno == EINTR);
        if (got < 0)
            return std::nullopt;
        text.resize(had + static_cast<std::size_t>(got));
        if (got == 0)
            break;
    }
    return text;
}

std::optional<unsigned> readUnsigned(const std::filesystem::path& path)
{
    const auto text = read(path);
    if (!text)
        return std::nullopt;
    return parseUnsigned(*text);
}

std::optional<unsigned> parseUnsigned(std::string_view text)
{
    const char* begin = text.data();
    const char* end = begin + text.size();
    while (begin != end && (*begin == ' ' || *begin == '\t'))
        ++begin;
    unsigned value = 0;
    const auto [stop, error] = std::from_chars(begin, end, value);
    if (error != std::errc() || stop == begin)
        return std::nullopt;
    if (stop != end && *stop != '\n' && *stop != ' ')
        return std::nullopt;
    return value;
}

bool write(const std::filesystem::path& path, const std::string& text)
{
    // O_TRUNC as a shell's "echo >" does: sysfs ignores it, a test's plain file needs it.
    FileDescriptor fd(::open(path.c_str(), O_WRONLY | O_TRUNC | kOpenFlags));
    if (fd.get() < 0)
        return false;
    ssize_t put;
    do {
        put = ::write(fd.get(), text.data(), text.size());
    } while (put < 0 && errno == EINTR);
    return put == static_cast<ssize_t>(text.size());
}

} // namespace SysfsAttribute
