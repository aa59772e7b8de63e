#pragma once
// Property-list values (the information dictionaries of application bundles
// and the preference suites), read and written with libplist.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "platform/desktop/property_list_bounds.hpp"
#include "platform/dispatch/date.hpp"

namespace zentrabo::platform {

class PropertyListValue {
public:
    using Array = std::vector<PropertyListValue>;
    // Keys in file order; a key appears once.
    using Dictionary = std::vector<std::pair<std::string, PropertyListValue>>;
    using Data = std::vector<std::uint8_t>;
    using Storage = std::variant<std::string, bool, std::int64_t, double, Date, Data, Array, Dictionary>;

    // Nesting deeper than this is refused when reading a file.
    static constexpr int maximumDepth = PropertyListBounds{}.maximumDepth;

    PropertyListValue() : storage_(Dictionary{}) {}
    PropertyListValue(Storage storage) : storage_(std::move(storage)) {}
    PropertyListValue(std::string text) : storage_(std::move(text)) {}
    PropertyListValue(const char* text) : storage_(std::string(text)) {}

    const Storage& storage() const { return storage_; }
    const std::string* string() const { return std::get_if<std::string>(&storage_); }
    const bool* boolean() const { return std::get_if<bool>(&storage_); }
    const std::int64_t* integer() const { return std::get_if<std::int64_t>(&storage_); }
    const Array* array() const { return std::get_if<Array>(&storage_); }
    const Dictionary* dictionary() const { return std::get_if<Dictionary>(&storage_); }
    // The dictionary entry under key; none for a missing key or a non-dictionary.
    const PropertyListValue* find(std::string_view key) const;

    bool operator==(const PropertyListValue&) const = default;

private:
    Storage storage_;
};

// Decodes an XML or binary property list; none when the bytes are empty,
// malformed or beyond the bounds (property_list_bounds.hpp).
std::optional<PropertyListValue> decodePropertyList(std::span<const std::uint8_t> bytes,
                                                    const PropertyListBounds& bounds = {});
// The XML form of a value. Throws std::system_error for a date more than
// 2^31 seconds from 2001-01-01, which the format's library cannot hold.
std::string encodePropertyListXml(const PropertyListValue& value);

// Reads an XML or binary property list; none when the file is missing,
// unreadable, malformed or nested deeper than maximumDepth.
std::optional<PropertyListValue> readPropertyListFile(const std::filesystem::path& path);
// Writes an XML property list (temp file and rename). Throws
// std::system_error when the value or the file cannot be written.
void writePropertyListFile(const std::filesystem::path& path, const PropertyListValue& value);

}  // namespace zentrabo::platform
