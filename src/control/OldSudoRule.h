#pragma once

#include <functional>
#include <string>

class PrivilegedRunner;

// The privilege rule an earlier version of Beamwick installed, which nothing needs any more:
// whether it is there, and its removal with the administrator's consent.
class OldSudoRule {
public:
    using FileExists = std::function<bool(const std::string& path)>;

    static constexpr const char* path = "/etc/sudoers.d/beamwick";

    // fileExists is required (std::invalid_argument).
    OldSudoRule(PrivilegedRunner& runner, FileExists fileExists);

    bool exists() const { return m_fileExists(path); }
    // Asks for the administrator's consent and removes it; whether that happened is for
    // exists() to tell.
    void remove();

private:
    PrivilegedRunner& m_runner;
    FileExists m_fileExists;
};
