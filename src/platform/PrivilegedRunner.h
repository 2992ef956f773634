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
