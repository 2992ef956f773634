#pragma once

#include <string>
#include <vector>

// Runs one command with administrator rights, synchronously, asking the user as the desktop
// does. The outcome is deliberately not reported: callers look at the effect instead.
class PrivilegedRunner {
public:
    virtual ~PrivilegedRunner() = default;
    virtual void run(const std::vector<std::string>& argv) = 0;
};

// Through polkit's /usr/bin/pkexec, as an argument vector: no shell, nothing interpolated, and
// the program named by its full path, never looked up in PATH (a relative name runs nothing).
// Where pkexec is not installed nothing runs.
class PkexecRunner final : public PrivilegedRunner {
public:
    void run(const std::vector<std::string>& argv) override;
};
