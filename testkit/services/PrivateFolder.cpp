#include "PrivateFolder.h"

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

PrivateFolder::PrivateFolder(const std::string& prefix, bool inMemory)
{
    const char* tmp = std::getenv("TMPDIR");
    std::error_code ignored;
    const bool shm = inMemory && std::filesystem::is_directory("/dev/shm", ignored) &&
                     ::access("/dev/shm", W_OK) == 0;
    std::string base = shm ? "/dev/shm" : tmp && *tmp ? tmp : "/tmp";
    std::string pattern = base + "/" + prefix + ".XXXXXX";
    // mkdtemp makes it with mode 700, which PipeWire and the PulseAudio clients insist on for
    // a runtime folder.
    if (::mkdtemp(pattern.data()))
        m_path = pattern;
}

PrivateFolder::~PrivateFolder()
{
    std::error_code ignored;
    if (!m_path.empty())
        std::filesystem::remove_all(m_path, ignored);
}
