#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// Reading and writing one sysfs attribute file. Nothing here creates a file: an attribute that
// has gone (an unplugged keyboard) is an error, never a new regular file in its place.
namespace SysfsAttribute {

// The whole attribute, read to its end (up to a bound far above any real one), or nothing on
// any error.
std::optional<std::string> read(const std::filesystem::path& path);

// A non-negative decimal number at the start of the attribute, or nothing.
std::optional<unsigned> readUnsigned(const std::filesystem::path& path);
// The same of an attribute's text.
std::optional<unsigned> parseUnsigned(std::string_view text);

// Writes text in one write call, as sysfs expects; true only when all of it was taken.
bool write(const std::filesystem::path& path, const std::string& text);

} // namespace SysfsAttribute
