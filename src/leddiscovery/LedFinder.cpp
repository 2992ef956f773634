#include "leddiscovery/LedFinder.h"

#include <algorithm>
#include <system_error>

namespace {

constexpr std::size_t kMaxNameLength = 255;

bool endsWith(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

} // namespace

LedFinder::LedFinder(std::filesystem::path root) : m_root(std::move(root)) {}

bool LedFinder::isSafeName(std::string_view name)
{
    if (name.empty() || name.size() > kMaxNameLength || name == ".")
        return false;
    if (name.find('/') != std::string_view::npos || name.find("..") != std::string_view::npos)
        return false;
    return std::none_of(name.begin(), name.end(),
                        [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

std::vector<std::string> LedFinder::names() const
{
    std::vector<std::string> found;
    std::error_code error;
    std::filesystem::directory_iterator it(m_root, error);
    for (; !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        auto name = it->path().filename().string();
        if (isSafeName(name))
            found.push_back(std::move(name));
    }
    // Directory order is arbitrary; sorting makes the choice the same on every start.
    std::sort(found.begin(), found.end());
    return found;
}

LedFinder::Rule LedFinder::ruleOf(std::string_view name)
{
    if (name.find("lid_logo") != std::string_view::npos)
        return Rule::lidLogo;
    if (name.find("logo") != std::string_view::npos)
        return Rule::logo;
    if (endsWith(name, "::kbd_backlight"))
        return Rule::keyboardBacklight;
    return Rule::none;
}

std::optional<LedDevice> LedFinder::find(const char* requested) const
{
    if (requested && isSafeName(requested)) {
        if (auto device = LedDevice::open(m_root, requested))
            return device;
    }
    for (const auto& name : ruleOrder(names())) {
        if (auto device = LedDevice::open(m_root, name))
            return device;
    }
    return std::nullopt;
}

std::vector<std::string> LedFinder::ruleOrder(const std::vector<std::string>& all)
{
    std::vector<std::string> ordered;
    for (const Rule rule : {Rule::lidLogo, Rule::logo, Rule::keyboardBacklight}) {
        for (const auto& name : all) {
            if (ruleOf(name) == rule)
                ordered.push_back(name);
        }
    }
    return ordered;
}

std::vector<std::string> LedFinder::candidates() const
{
    auto usable = ruleOrder(names());
    std::erase_if(usable,
                  [this](const std::string& name) { return !LedDevice::open(m_root, name); });
    return usable;
}

std::optional<std::string> LedFinder::whyPassedOver(const char* requested) const
{
    if (!requested)
        return std::nullopt;
    if (!isSafeName(requested))
        return "not a plain LED name (empty, too long, or containing '/', '..' or control "
               "characters)";
    std::error_code error;
    if (!std::filesystem::exists(m_root / requested, error))
        return "no LED of that name under " + m_root.string();
    if (!LedDevice::open(m_root, requested))
        return "it has no readable brightness or its max_brightness is below 1";
    return std::nullopt;
}
