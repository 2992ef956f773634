#include "serviceabi/FactoryRows.h"

#include <cmath>
#include <limits>

namespace {

constexpr std::size_t kFoundIndex = 0;
constexpr std::size_t kTriggerIndex = 3;
constexpr std::size_t kLedIndex = 4;
constexpr double kNitsPerRow = 25.0;
constexpr double kNitsTotal = kNitsPerRow * (1 + 2 + 3 + 4);
static_assert(FactoryRows::rowCount == 4, "kNitsTotal sums the rows' nits");

double fnv1a(const std::string& text)
{
    std::uint32_t hash = 2166136261u;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 16777619u;
    }
    return static_cast<double>(hash);
}

// The number every row of a whole factory table holds at `index`; nothing when a row is too
// short or the rows disagree.
std::optional<double> sameInEveryWholeRow(const FactoryRows::Table& accepted, std::size_t index)
{
    if (!FactoryRows::isWhole(accepted))
        return std::nullopt;
    return PropertyValue::sameInEveryRow(accepted, index);
}

} // namespace

FactoryRows::Table FactoryRows::encode(unsigned found, std::optional<double> triggerCode,
                                       double ledCode)
{
    Table rows;
    for (std::size_t k = 1; k <= rowCount; ++k)
        rows.push_back({static_cast<double>(found), kNitsPerRow * static_cast<double>(k),
                        static_cast<double>(k), triggerCode.value_or(noTrigger), ledCode});
    return rows;
}

double FactoryRows::triggerCode(const std::string& trigger)
{
    return fnv1a(trigger);
}

double FactoryRows::ledCode(const std::string& name)
{
    return fnv1a(name);
}

std::optional<FactoryRows::Table> FactoryRows::accept(const PropertyValue& written)
{
    auto table = written.asTable();
    if (!table || table->size() != rowCount)
        return std::nullopt;
    for (const auto& row : *table) {
        if (row.size() < 2)
            return std::nullopt;
        for (double n : row) {
            if (!std::isfinite(n) || n < 0)
                return std::nullopt;
        }
    }
    return table;
}

double FactoryRows::levelOf(const Table& accepted)
{
    double nits = 0;
    for (const auto& row : accepted)
        nits += row[1];
    return nits / kNitsTotal;
}

bool FactoryRows::isWhole(const Table& accepted)
{
    // The first column is left out: it holds the brightness found, which differs between
    // machines, and an earlier version's table is still the user's "hand the light back".
    for (std::size_t k = 1; k <= rowCount; ++k) {
        const auto& row = accepted[k - 1];
        if (row.size() < 3 || row[1] != kNitsPerRow * static_cast<double>(k) ||
            row[2] != static_cast<double>(k))
            return false;
    }
    return true;
}

std::optional<unsigned> FactoryRows::foundOf(const Table& accepted)
{
    const auto found = PropertyValue::sameInEveryRow(accepted, kFoundIndex);
    if (!found)
        return std::nullopt;
    if (*found >= static_cast<double>(std::numeric_limits<unsigned>::max()))
        return std::numeric_limits<unsigned>::max();
    return static_cast<unsigned>(std::floor(*found + 0.5));
}

std::optional<double> FactoryRows::triggerOf(const Table& accepted)
{
    const auto code = sameInEveryWholeRow(accepted, kTriggerIndex);
    if (code == noTrigger)
        return std::nullopt;
    return code;
}

std::optional<double> FactoryRows::ledOf(const Table& accepted)
{
    return sameInEveryWholeRow(accepted, kLedIndex);
}

std::optional<double> FactoryRows::lightOf(const Table& table)
{
    return PropertyValue::sameInEveryRow(table, kLedIndex);
}

FactoryRows::Table FactoryRows::withFoundOf(Table kept, const Table& from)
{
    if (kept.size() != from.size())
        return from;
    for (std::size_t row = 0; row < kept.size(); ++row) {
        if (kept[row].empty() || from[row].empty())
            return from;
        kept[row][kFoundIndex] = from[row][kFoundIndex];
    }
    return kept;
}
