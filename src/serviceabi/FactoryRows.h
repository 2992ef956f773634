#pragma once

#include "serviceabi/PropertyValue.h"

#include <cstdint>
#include <optional>
#include <string>

// The factory table as the LED module reports it, row by row: the one place that knows which
// column holds what, for the module that writes the rows and for the controller that keeps them.
//
// The factory table has `rowCount` rows; row k (1-based) is [found, nits, k, trigger, led]: found
// is the LED's brightness before Beamwick first touched it (0 when it was off), nits is 25 k,
// trigger is triggerCode() of the LED's trigger then (noTrigger when the LED has none), and led
// is ledCode() of the LED's name. The controller saves this table once and from then on writes
// it back, so what the LED was like before the first start outlives any ending of a later run:
// - dimming keeps the first number of every row, so every table written carries `found`;
// - the third number names the row: dimming writes only two numbers per row, so a table that
//   carries the factory rows whole is the restore at quit, even though its level is 1.0 too,
//   and only that table carries the trigger and the LED;
// - a whole table naming another LED says nothing about this one.
// Tables saved by earlier versions had [found, nits, k, trigger] (no LED: they are taken as this
// LED's) or, before that, [round(k/4 * max_brightness), nits, k]; the first numbers of the
// oldest differ from row to row, which is how they are told apart: they carry no brightness.
class FactoryRows {
public:
    using Table = PropertyValue::Table;
    static constexpr std::size_t rowCount = 4;

    // Stands for "no trigger attribute": above every code, so no trigger name has it, and not
    // negative, so earlier versions still accept a table that carries it.
    static constexpr double noTrigger = 4294967296.0;

    // The table to report for the LED named by `ledCode`, found at `found` with the trigger of
    // that code active (nothing: the LED has no trigger attribute).
    static Table encode(unsigned found, std::optional<double> triggerCode, double ledCode);

    // A trigger name as a number that a table can hold exactly (32-bit FNV-1a).
    static double triggerCode(const std::string& trigger);
    // An LED's name as such a number.
    static double ledCode(const std::string& name);

    // The written value as a table when it is acceptable: an array of exactly rowCount rows,
    // each of at least two finite, non-negative numbers. Otherwise nothing.
    static std::optional<Table> accept(const PropertyValue& written);

    // The level an accepted table asks for: its nits over the factory's nits.
    static double levelOf(const Table& accepted);

    // Whether an accepted table is the factory table handed back whole.
    static bool isWhole(const Table& accepted);

    // The brightness an accepted table says the LED was found at, rounded to a whole step;
    // nothing for a table from an earlier version.
    static std::optional<unsigned> foundOf(const Table& accepted);

    // The trigger code a whole factory table carries; nothing when it carries none.
    static std::optional<double> triggerOf(const Table& accepted);

    // The LED code a whole factory table carries; nothing when it carries none.
    static std::optional<double> ledOf(const Table& accepted);

    // The LED any table names in every row, whole or dimmed, as the controller files it; nothing
    // when the rows name none or disagree.
    static std::optional<double> lightOf(const Table& table);

    // `kept` with the brightness found that `from` carries: what a brightness key changes in a
    // saved table, whose other numbers (the trigger as found) stay. `from` whole where the two
    // differ in shape.
    static Table withFoundOf(Table kept, const Table& from);
};
