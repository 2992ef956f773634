#pragma once

#include "platform/PrivilegedRunner.h"

#include <functional>
#include <string>
#include <vector>

// Stands in for the administrator prompt: records each command and runs a chosen effect (none:
// the user cancelled).
class ScriptedRunner final : public PrivilegedRunner {
public:
    void run(const std::vector<std::string>& argv) override
    {
        calls.push_back(argv);
        if (effect)
            effect();
    }
    std::vector<std::vector<std::string>> calls;
    std::function<void()> effect;
};
