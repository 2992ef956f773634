#pragma once

#include "ledservice/LedFiles.h"

#include <memory>
#include <string>
#include <vector>

// The LED class folder: which LEDs there are, and each one's files.
class LedTree {
public:
    virtual ~LedTree() = default;
    // Every entry with a plain name (LedFinder::isSafeName), sorted: the order names are tried in.
    virtual std::vector<std::string> names() const = 0;
    // The LED of that plain name when it is usable (a readable brightness, a max_brightness of at
    // least 1); otherwise null.
    virtual std::unique_ptr<LedFiles> open(const std::string& name) const = 0;
};
