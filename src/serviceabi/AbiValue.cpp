#include "serviceabi/AbiValue.h"

AbiValue::AbiValue(const PropertyValue& value)
{
    fill(m_root, value);
}

void AbiValue::fill(bw_value& out, const PropertyValue& value)
{
    out = bw_value{};
    if (value.isInteger()) {
        out.kind = BW_VALUE_INTEGER;
        out.integer = value.integerValue();
    } else if (value.isReal()) {
        out.kind = BW_VALUE_REAL;
        out.real = value.doubleValue();
    } else if (value.isString()) {
        out.kind = BW_VALUE_STRING;
        out.string = m_strings.emplace_back(value.stringValue()).c_str();
    } else {
        out.kind = BW_VALUE_ARRAY;
        const auto& items = value.items();
        auto& storage = m_arrays.emplace_back(items.size());
        for (std::size_t i = 0; i < items.size(); ++i)
            fill(storage[i], items[i]);
        out.count = storage.size();
        out.items = storage.data();
    }
}

namespace {

std::optional<PropertyValue> convert(const bw_value& value, int depth, std::size_t& budget)
{
    if (depth > kMaxAbiValueDepth || budget == 0)
        return std::nullopt;
    --budget;
    switch (value.kind) {
    case BW_VALUE_INTEGER:
        return PropertyValue::integer(value.integer);
    case BW_VALUE_REAL:
        return PropertyValue::real(value.real);
    case BW_VALUE_STRING:
        if (!value.string)
            return std::nullopt;
        return PropertyValue::string(value.string);
    case BW_VALUE_ARRAY: {
        if (value.count > 0 && !value.items)
            return std::nullopt;
        if (value.count > budget)
            return std::nullopt;
        PropertyValue::Array items;
        items.reserve(value.count);
        for (std::size_t i = 0; i < value.count; ++i) {
            auto item = convert(value.items[i], depth + 1, budget);
            if (!item)
                return std::nullopt;
            items.push_back(std::move(*item));
        }
        return PropertyValue::array(std::move(items));
    }
    default:
        return std::nullopt;
    }
}

} // namespace

std::optional<PropertyValue> fromAbiValue(const bw_value* value)
{
    if (!value)
        return std::nullopt;
    std::size_t budget = kMaxAbiValueItems;
    return convert(*value, 0, budget);
}
