#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

// A brightness service property value: a number, a string or an array of values. This is the
// C++ side of bw_value; Brightness converts at the module boundary.
class PropertyValue {
public:
    using Array = std::vector<PropertyValue>;
    using Table = std::vector<std::vector<double>>;

    PropertyValue() : m_value(std::int64_t{0}) {}
    static PropertyValue integer(std::int64_t value);
    static PropertyValue real(double value);
    static PropertyValue string(std::string value);
    static PropertyValue array(Array items);
    // An array of rows, each an array of real numbers.
    static PropertyValue table(const Table& rows);

    bool isInteger() const { return std::holds_alternative<std::int64_t>(m_value); }
    bool isReal() const { return std::holds_alternative<double>(m_value); }
    bool isNumber() const { return isInteger() || isReal(); }
    bool isString() const { return std::holds_alternative<std::string>(m_value); }
    bool isArray() const { return std::holds_alternative<Array>(m_value); }

    std::int64_t integerValue() const; // integer part for a real, 0 for a non-number
    double doubleValue() const;        // 0 for a non-number
    const std::string& stringValue() const;
    const Array& items() const;

    // The value as rows of doubles when it is an array of arrays of numbers, otherwise nothing.
    std::optional<Table> asTable() const;
    // The number every row of a table holds at `index`; nothing for an empty table, a row too
    // short, or rows that differ there.
    static std::optional<double> sameInEveryRow(const Table& rows, std::size_t index);

    bool operator==(const PropertyValue& other) const = default;

private:
    std::variant<std::int64_t, double, std::string, Array> m_value;
};
