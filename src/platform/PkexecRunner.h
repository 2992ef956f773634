#pragma once

#include "platform/PrivilegedRunner.h"

#include <string>

// Through polkit's /usr/bin/pkexec, as an argument vector: no shell, nothing interpolated, and
// the program named by its full path, never looked up in PATH (a relative name runs nothing).
// Where pkexec is not installed nothing runs. Waits until the program has finished.
class PkexecRunner final : public PrivilegedRunner {
public:
    PkexecRunner() = default;
    // Another pkexec, for tests: a full path, like the default.
    explicit PkexecRunner(std::string pkexec) : m_pkexec(std::move(pkexec)) {}

    void run(const std::vector<std::string>& argv) override;

private:
    // Fixed: a program looked up in the user's PATH could be anyone's, and it would run as root.
    std::string m_pkexec = "/usr/bin/pkexec";
};
