#include "platform/desktop/property_list.hpp"

#include <plist/plist.h>

#include <cmath>
#include <limits>
#include <memory>
#include <system_error>

namespace zentrabo::platform {

namespace {

struct PlistFree {
    void operator()(plist_t plist) const { plist_free(plist); }
};
using PlistPtr = std::unique_ptr<void, PlistFree>;

std::optional<PropertyListValue> fromPlist(plist_t node, int depth, int maximumDepth) {
    if (depth > maximumDepth) return std::nullopt;
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        std::uint8_t value = 0;
        plist_get_bool_val(node, &value);
        return PropertyListValue(PropertyListValue::Storage(value != 0));
    }
    case PLIST_UINT: {
        std::uint64_t value = 0;
        plist_get_uint_val(node, &value);
        return PropertyListValue(PropertyListValue::Storage(static_cast<std::int64_t>(value)));
    }
    case PLIST_REAL: {
        double value = 0;
        plist_get_real_val(node, &value);
        return PropertyListValue(PropertyListValue::Storage(value));
    }
    case PLIST_STRING: {
        char* text = nullptr;
        plist_get_string_val(node, &text);
        std::string value = text ? text : "";
        std::free(text);
        return PropertyListValue(std::move(value));
    }
    case PLIST_DATE: {
        std::int32_t seconds = 0;
        std::int32_t microseconds = 0;
        plist_get_date_val(node, &seconds, &microseconds);
        // A date beyond 32-bit seconds comes out of libplist as garbage, with
        // more microseconds than a second has.
        if (microseconds <= -1000000 || microseconds >= 1000000) return std::nullopt;
        return PropertyListValue(PropertyListValue::Storage(Date{seconds + microseconds / 1e6}));
    }
    case PLIST_DATA: {
        char* bytes = nullptr;
        std::uint64_t length = 0;
        plist_get_data_val(node, &bytes, &length);
        PropertyListValue::Data data(bytes, bytes + length);
        std::free(bytes);
        return PropertyListValue(PropertyListValue::Storage(std::move(data)));
    }
    case PLIST_ARRAY: {
        PropertyListValue::Array array;
        const auto count = plist_array_get_size(node);
        for (std::uint32_t i = 0; i < count; ++i) {
            auto item = fromPlist(plist_array_get_item(node, i), depth + 1, maximumDepth);
            if (!item) return std::nullopt;
            array.push_back(std::move(*item));
        }
        return PropertyListValue(PropertyListValue::Storage(std::move(array)));
    }
    case PLIST_DICT: {
        PropertyListValue::Dictionary dictionary;
        plist_dict_iter iterator = nullptr;
        plist_dict_new_iter(node, &iterator);
        while (iterator) {
            char* key = nullptr;
            plist_t value = nullptr;
            plist_dict_next_item(node, iterator, &key, &value);
            if (!key) break;
            std::string name = key;
            std::free(key);
            auto item = value ? fromPlist(value, depth + 1, maximumDepth) : std::nullopt;
            if (!item) {
                std::free(iterator);
                return std::nullopt;
            }
            dictionary.emplace_back(std::move(name), std::move(*item));
        }
        std::free(iterator);
        return PropertyListValue(PropertyListValue::Storage(std::move(dictionary)));
    }
    default:
        return std::nullopt;
    }
}

PlistPtr toPlist(const PropertyListValue& value) {
    struct Visitor {
        plist_t operator()(const std::string& v) const { return plist_new_string(v.c_str()); }
        plist_t operator()(bool v) const { return plist_new_bool(v ? 1 : 0); }
        plist_t operator()(std::int64_t v) const { return plist_new_uint(static_cast<std::uint64_t>(v)); }
        plist_t operator()(double v) const { return plist_new_real(v); }
        plist_t operator()(const Date& v) const {
            // libplist keeps whole seconds and the microseconds beyond them,
            // 32 bits each, and reads a date back as their sum; every date it
            // can read is written back this way.
            const double whole = std::trunc(v.secondsSinceReferenceDate);
            if (!(whole >= std::numeric_limits<std::int32_t>::min() &&
                  whole <= std::numeric_limits<std::int32_t>::max())) {
                throw std::system_error(std::make_error_code(std::errc::value_too_large), "property list date");
            }
            return plist_new_date(static_cast<std::int32_t>(whole),
                                  static_cast<std::int32_t>((v.secondsSinceReferenceDate - whole) * 1e6));
        }
        plist_t operator()(const PropertyListValue::Data& v) const {
            return plist_new_data(reinterpret_cast<const char*>(v.data()), v.size());
        }
        plist_t operator()(const PropertyListValue::Array& v) const {
            PlistPtr array(plist_new_array());
            for (const auto& item : v) plist_array_append_item(array.get(), toPlist(item).release());
            return array.release();
        }
        plist_t operator()(const PropertyListValue::Dictionary& v) const {
            PlistPtr dictionary(plist_new_dict());
            for (const auto& [key, item] : v)
                plist_dict_set_item(dictionary.get(), key.c_str(), toPlist(item).release());
            return dictionary.release();
        }
    };
    return PlistPtr(std::visit(Visitor{}, value.storage()));
}

}  // namespace

const PropertyListValue* PropertyListValue::find(std::string_view key) const {
    const auto* entries = dictionary();
    if (!entries) return nullptr;
    for (const auto& [name, value] : *entries) {
        if (name == key) return &value;
    }
    return nullptr;
}

std::optional<PropertyListValue> decodePropertyList(std::span<const std::uint8_t> bytes,
                                                    const PropertyListBounds& bounds) {
    if (bytes.empty() || bytes.size() > std::numeric_limits<std::uint32_t>::max() ||
        !propertyListWithinBounds(bytes, bounds)) {
        return std::nullopt;
    }
    plist_t root = nullptr;
    plist_from_memory(reinterpret_cast<const char*>(bytes.data()), static_cast<std::uint32_t>(bytes.size()), &root);
    if (!root) return std::nullopt;
    PlistPtr owner(root);
    return fromPlist(root, 0, bounds.maximumDepth);
}

std::string encodePropertyListXml(const PropertyListValue& value) {
    const PlistPtr root = toPlist(value);
    char* xml = nullptr;
    std::uint32_t length = 0;
    plist_to_xml(root.get(), &xml, &length);
    if (!xml) throw std::system_error(std::make_error_code(std::errc::invalid_argument), "property list");
    std::string text(xml, length);
    plist_to_xml_free(xml);
    return text;
}

}  // namespace zentrabo::platform
