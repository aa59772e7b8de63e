// Feeds arbitrary bytes to the property-list reader that application
// bundles' information files go through (XML or binary, told apart by their
// first bytes), from a heap block of exactly their size. Whatever it reads
// is nested at most maximumDepth levels, and its XML form, as the desktop
// writes bundles, reads back to a value with the same XML form.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "fuzz_require.hpp"
#include "platform/desktop/property_list.hpp"

namespace {

using zentrabo::fuzzing::require;

using zentrabo::platform::PropertyListValue;

// The deepest nesting under value, walked without recursion.
int depthOf(const PropertyListValue& root) {
    int deepest = 0;
    std::vector<std::pair<const PropertyListValue*, int>> pending{{&root, 0}};
    while (!pending.empty()) {
        const auto [value, depth] = pending.back();
        pending.pop_back();
        deepest = std::max(deepest, depth);
        if (const auto* array = value->array()) {
            for (const auto& item : *array) pending.emplace_back(&item, depth + 1);
        } else if (const auto* dictionary = value->dictionary()) {
            for (const auto& entry : *dictionary) pending.emplace_back(&entry.second, depth + 1);
        }
    }
    return deepest;
}

std::span<const std::uint8_t> bytesOf(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zentrabo::platform;
    auto copy = std::make_unique<std::uint8_t[]>(size);
    std::copy(data, data + size, copy.get());
    // libplist takes time quadratic in a binary list's values, and under
    // AddressSanitizer every one of its copies is checked: a lower value
    // bound than the reader's keeps each run far inside the timeout.
    const PropertyListBounds bounds{.maximumValueCount = 2048};
    const auto value = decodePropertyList(std::span<const std::uint8_t>(copy.get(), size), bounds);
    if (!value) return 0;
    require(depthOf(*value) <= PropertyListValue::maximumDepth);
    const std::string xml = encodePropertyListXml(*value);
    const auto again = decodePropertyList(bytesOf(xml), bounds);
    require(again.has_value());
    require(encodePropertyListXml(*again) == xml);
    return 0;
}
