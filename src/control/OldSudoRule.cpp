#include "control/OldSudoRule.h"

#include "platform/PrivilegedRunner.h"

#include <stdexcept>

OldSudoRule::OldSudoRule(PrivilegedRunner& runner, FileExists fileExists)
    : m_runner(runner), m_fileExists(std::move(fileExists))
{
    if (!m_fileExists)
        throw std::invalid_argument("OldSudoRule: no test for a file's existence");
}

void OldSudoRule::remove()
{
    // By its full path: run as root, an "rm" found in the user's PATH could be anything.
    const char* rm = m_fileExists("/usr/bin/rm") ? "/usr/bin/rm" : "/bin/rm";
    m_runner.run({rm, "-f", path});
}
