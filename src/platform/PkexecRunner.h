#pragma once

#include "platform/PrivilegedRunner.h"

// Through polkit's /usr/bin/pkexec, as an argument vector: no shell, nothing interpolated, and
// the program named by its full path, never looked up in PATH (a relative name runs nothing).
// Where pkexec is not installed nothing runs.
class PkexecRunner final : public PrivilegedRunner {
public:
    void run(const std::vector<std::string>& argv) override;
};
