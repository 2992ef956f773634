#include "ResultTable.h"

#include <cstdio>

namespace {

// A cell must not end its row or start a new one.
std::string cell(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        if (c == '|')
            out += "\\|";
        else if (c == '\n')
            out += ' ';
        else
            out += c;
    }
    return out;
}

} // namespace

std::string ResultTable::number(std::optional<double> value, int decimals)
{
    if (!value)
        return "n/a";
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, *value);
    return buffer;
}

std::string ResultTable::atMost(std::optional<double> value, double limit, const std::string& unit,
                                int decimals)
{
    if (!value)
        return "not measured";
    if (*value <= limit)
        return "met";
    return "missed by " + number(*value - limit, decimals) + unit;
}

std::string ResultTable::markdown() const
{
    std::string out = "| Figure | Result | Target | Verdict | Method |\n"
                      "|---|---|---|---|---|\n";
    for (const auto& row : m_rows)
        out += "| " + cell(row.figure) + " | " + cell(row.result) + " | " + cell(row.target) +
               " | " + cell(row.verdict) + " | " + cell(row.method) + " |\n";
    return out;
}
