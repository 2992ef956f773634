#pragma once

#include "serviceabi/PropertyValue.h"
#include "serviceabi/service_abi.h"

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// An owning bw_value tree built from a PropertyValue, valid for as long as this object lives.
class AbiValue {
public:
    explicit AbiValue(const PropertyValue& value);
    AbiValue(const AbiValue&) = delete;
    AbiValue& operator=(const AbiValue&) = delete;

    const bw_value* get() const { return &m_root; }

private:
    void fill(bw_value& out, const PropertyValue& value);

    bw_value m_root{};
    std::deque<std::vector<bw_value>> m_arrays;
    std::deque<std::string> m_strings;
};

// Values from a module are not trusted: cycles cannot occur in a tree, but depth and size can be
// hostile, so conversion stops at these bounds and gives nothing.
constexpr int kMaxAbiValueDepth = 32;
constexpr std::size_t kMaxAbiValueItems = 1u << 20;

// Copies a module's value into a PropertyValue. Gives nothing for NULL, an unknown kind, a NULL
// string or item pointer, or a tree past the bounds above.
std::optional<PropertyValue> fromAbiValue(const bw_value* value);
