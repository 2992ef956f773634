#pragma once

#include "ledservice/LedTree.h"

#include <chrono>
#include <filesystem>

// The LEDs under an LED class folder (/sys/class/leds), each written through logind, bounded by
// `logindTimeout`, and else through its brightness attribute.
class SysfsLedTree final : public LedTree {
public:
    SysfsLedTree(std::filesystem::path root, std::chrono::milliseconds logindTimeout);

    std::vector<std::string> names() const override;
    std::unique_ptr<LedFiles> open(const std::string& name) const override;

private:
    std::filesystem::path m_root;
    std::chrono::milliseconds m_logindTimeout;
};
