#include "PrivateFolder.h"

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

PrivateFolder::PrivateFolder(const std::string& prefix)
{
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + prefix + ".XXXXXX";
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
