#include "ledservice/FactoryTable.h"

#include <cmath>

namespace {

constexpr double kNitsPerRow = 25.0;

} // namespace

FactoryTable::FactoryTable(unsigned maxBrightness)
{
    for (std::size_t k = 1; k <= rowCount; ++k) {
        const double share = static_cast<double>(k) / rowCount;
        const double pwm = std::floor(share * maxBrightness + 0.5);
        const double nits = kNitsPerRow * static_cast<double>(k);
        m_rows.push_back({pwm, nits, static_cast<double>(k)});
        m_nitsTotal += nits;
    }
}

std::optional<FactoryTable::Table> FactoryTable::accept(const PropertyValue& written) const
{
    auto table = written.asTable();
    if (!table || table->size() != m_rows.size())
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

double FactoryTable::levelOf(const Table& accepted) const
{
    double nits = 0;
    for (const auto& row : accepted)
        nits += row[1];
    return nits / m_nitsTotal;
}

bool FactoryTable::isWholeFactoryTable(const Table& accepted) const
{
    // The pwm column is left out of the comparison: a factory table saved while another LED
    // was driven is still the user's "hand the light back".
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        const auto& row = accepted[i];
        if (row.size() != m_rows[i].size() || row[1] != m_rows[i][1] || row[2] != m_rows[i][2])
            return false;
    }
    return true;
}
