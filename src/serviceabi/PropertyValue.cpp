#include "serviceabi/PropertyValue.h"

#include <cmath>
#include <limits>

PropertyValue PropertyValue::integer(std::int64_t value)
{
    PropertyValue v;
    v.m_value = value;
    return v;
}

PropertyValue PropertyValue::real(double value)
{
    PropertyValue v;
    v.m_value = value;
    return v;
}

PropertyValue PropertyValue::string(std::string value)
{
    PropertyValue v;
    v.m_value = std::move(value);
    return v;
}

PropertyValue PropertyValue::array(Array items)
{
    PropertyValue v;
    v.m_value = std::move(items);
    return v;
}

PropertyValue PropertyValue::table(const Table& rows)
{
    Array out;
    out.reserve(rows.size());
    for (const auto& row : rows) {
        Array numbers;
        numbers.reserve(row.size());
        for (double n : row)
            numbers.push_back(real(n));
        out.push_back(array(std::move(numbers)));
    }
    return array(std::move(out));
}

std::int64_t PropertyValue::integerValue() const
{
    if (const auto* i = std::get_if<std::int64_t>(&m_value))
        return *i;
    if (const auto* d = std::get_if<double>(&m_value)) {
        // A cast of an out-of-range or NaN double is undefined behaviour, so saturate instead.
        if (std::isnan(*d))
            return 0;
        if (*d >= 9.2e18)
            return std::numeric_limits<std::int64_t>::max();
        if (*d <= -9.2e18)
            return std::numeric_limits<std::int64_t>::min();
        return static_cast<std::int64_t>(*d);
    }
    return 0;
}

double PropertyValue::doubleValue() const
{
    if (const auto* i = std::get_if<std::int64_t>(&m_value))
        return static_cast<double>(*i);
    if (const auto* d = std::get_if<double>(&m_value))
        return *d;
    return 0.0;
}

const std::string& PropertyValue::stringValue() const
{
    static const std::string empty;
    const auto* s = std::get_if<std::string>(&m_value);
    return s ? *s : empty;
}

const PropertyValue::Array& PropertyValue::items() const
{
    static const Array empty;
    const auto* a = std::get_if<Array>(&m_value);
    return a ? *a : empty;
}

std::optional<PropertyValue::Table> PropertyValue::asTable() const
{
    if (!isArray())
        return std::nullopt;
    Table rows;
    rows.reserve(items().size());
    for (const auto& row : items()) {
        if (!row.isArray())
            return std::nullopt;
        std::vector<double> numbers;
        numbers.reserve(row.items().size());
        for (const auto& n : row.items()) {
            if (!n.isNumber())
                return std::nullopt;
            numbers.push_back(n.doubleValue());
        }
        rows.push_back(std::move(numbers));
    }
    return rows;
}

std::optional<double> PropertyValue::sameInEveryRow(const Table& rows, std::size_t index)
{
    if (rows.empty() || rows.front().size() <= index)
        return std::nullopt;
    const double first = rows.front()[index];
    for (const auto& row : rows) {
        if (row.size() <= index || row[index] != first)
            return std::nullopt;
    }
    return first;
}
