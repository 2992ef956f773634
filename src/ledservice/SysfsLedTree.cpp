#include "ledservice/SysfsLedTree.h"

#include "leddiscovery/LedFinder.h"
#include "ledservice/LogindWriter.h"
#include "ledservice/SysfsLedFiles.h"
#include "ledservice/SysfsWriter.h"

SysfsLedTree::SysfsLedTree(std::filesystem::path root, std::chrono::milliseconds logindTimeout)
    : m_root(std::move(root)), m_logindTimeout(logindTimeout)
{}

std::vector<std::string> SysfsLedTree::names() const
{
    return LedFinder(m_root).names();
}

std::unique_ptr<LedFiles> SysfsLedTree::open(const std::string& name) const
{
    if (!LedFinder::isSafeName(name))
        return nullptr;
    auto device = LedDevice::open(m_root, name);
    if (!device)
        return nullptr;
    std::vector<std::unique_ptr<LedWriter>> writers;
    writers.push_back(std::make_unique<LogindWriter>(m_logindTimeout));
    writers.push_back(std::make_unique<SysfsWriter>());
    return std::make_unique<SysfsLedFiles>(std::move(*device), std::move(writers));
}
