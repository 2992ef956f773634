#include "WriteLog.h"

#include <charconv>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

// The second number of the first row of "[[a,b],...]"; false when the value is not a table.
bool firstRowSecond(std::string_view value, double& out)
{
    if (value.substr(0, 2) != "[[")
        return false;
    const auto comma = value.find(',');
    const auto close = value.find(']');
    if (comma == std::string_view::npos || close == std::string_view::npos || comma > close)
        return false;
    const std::string number(value.substr(comma + 1, close - comma - 1));
    char* end = nullptr;
    out = std::strtod(number.c_str(), &end);
    return end && *end == '\0' && !number.empty();
}

} // namespace

std::vector<WriteLog::TableWrite> WriteLog::tableWrites(std::string_view text, double factorySecond)
{
    std::vector<TableWrite> out;
    if (!(factorySecond > 0.0))
        return out;
    while (!text.empty()) {
        const auto end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);

        const auto first = line.find(' ');
        const auto second = first == std::string_view::npos ? first : line.find(' ', first + 1);
        if (second == std::string_view::npos)
            continue;
        if (line.substr(first + 1, second - first - 1) != tableKey)
            continue;
        std::int64_t ns = 0;
        const auto [ptr, ec] = std::from_chars(line.data(), line.data() + first, ns);
        if (ec != std::errc() || ptr != line.data() + first)
            continue;
        double value = 0.0;
        if (!firstRowSecond(line.substr(second + 1), value))
            continue;
        out.push_back({ns, value / factorySecond});
    }
    return out;
}

std::string WriteLog::readAll(const std::string& path)
{
    std::ifstream file(path);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::vector<WriteLog::TableWrite> WriteLog::readTableWrites(const std::string& path,
                                                            double factorySecond)
{
    return tableWrites(readAll(path), factorySecond);
}

bool WriteLog::hasKey(std::string_view text, std::string_view key)
{
    std::string needle = " ";
    needle += key;
    needle += ' ';
    return text.find(needle) != std::string_view::npos;
}

std::vector<std::int64_t> WriteLog::flashes(const std::vector<TableWrite>& writes,
                                            double floorLevel, std::int64_t fromNs,
                                            std::int64_t untilNs)
{
    // Half a write threshold above the floor: anything the engine writes between beats sits
    // exactly on it.
    const double above = floorLevel + 0.002;
    std::vector<std::int64_t> out;
    for (const auto& write : writes)
        if (write.level > above && write.ns >= fromNs && write.ns < untilNs)
            out.push_back(write.ns);
    return out;
}
