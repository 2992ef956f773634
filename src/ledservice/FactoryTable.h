#pragma once

#include "brightness/PropertyValue.h"

#include <optional>

// The brightness table this service reports as the factory's, and how a written table is read.
//
// The factory table has `rowCount` rows; row k (1-based) is [pwm, nits, k]: pwm is k/4 of
// max_brightness rounded to a whole step, nits is 25 k. It depends only on max_brightness, so
// it is the same on every start and whatever state the LED is in. The third number names the
// row: dimming writes only two numbers per row, so a table that carries the factory rows whole
// is the restore at quit, even though its level is 1.0 too.
class FactoryTable {
public:
    using Table = PropertyValue::Table;
    static constexpr std::size_t rowCount = 4;

    explicit FactoryTable(unsigned maxBrightness);

    const Table& rows() const { return m_rows; }

    // The written value as a table when it is acceptable: an array of exactly rowCount rows,
    // each of at least two finite, non-negative numbers. Otherwise nothing.
    std::optional<Table> accept(const PropertyValue& written) const;

    // The level an accepted table asks for: its nits over the factory's nits.
    double levelOf(const Table& accepted) const;

    // Whether an accepted table is the factory table handed back whole.
    bool isWholeFactoryTable(const Table& accepted) const;

private:
    Table m_rows;
    double m_nitsTotal = 0;
};
