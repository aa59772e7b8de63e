#include "platform/desktop/property_list.hpp"

#include "platform/files/atomic_file.hpp"
#include "platform/files/bounded_file_read.hpp"

#include <plist/plist.h>

#include <cmath>
#include <memory>
#include <system_error>

namespace zentrabo::platform {

namespace {

// Information dictionaries are a few kilobytes; anything this large is not one.
constexpr std::size_t maximumFileSize = 16 * 1024 * 1024;

struct PlistFree {
    void operator()(plist_t plist) const { plist_free(plist); }
};
using PlistPtr = std::unique_ptr<void, PlistFree>;

std::optional<PropertyListValue> fromPlist(plist_t node, int depth) {
    if (depth > PropertyListValue::maximumDepth) return std::nullopt;
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
            auto item = fromPlist(plist_array_get_item(node, i), depth + 1);
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
            auto item = value ? fromPlist(value, depth + 1) : std::nullopt;
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

plist_t toPlist(const PropertyListValue& value) {
    struct Visitor {
        plist_t operator()(const std::string& v) const { return plist_new_string(v.c_str()); }
        plist_t operator()(bool v) const { return plist_new_bool(v ? 1 : 0); }
        plist_t operator()(std::int64_t v) const { return plist_new_uint(static_cast<std::uint64_t>(v)); }
        plist_t operator()(double v) const { return plist_new_real(v); }
        plist_t operator()(const Date& v) const {
            const double whole = std::floor(v.secondsSinceReferenceDate);
            return plist_new_date(static_cast<std::int32_t>(whole),
                                  static_cast<std::int32_t>((v.secondsSinceReferenceDate - whole) * 1e6));
        }
        plist_t operator()(const PropertyListValue::Data& v) const {
            return plist_new_data(reinterpret_cast<const char*>(v.data()), v.size());
        }
        plist_t operator()(const PropertyListValue::Array& v) const {
            plist_t array = plist_new_array();
            for (const auto& item : v) plist_array_append_item(array, toPlist(item));
            return array;
        }
        plist_t operator()(const PropertyListValue::Dictionary& v) const {
            plist_t dictionary = plist_new_dict();
            for (const auto& [key, item] : v) plist_dict_set_item(dictionary, key.c_str(), toPlist(item));
            return dictionary;
        }
    };
    return std::visit(Visitor{}, value.storage());
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

std::optional<PropertyListValue> readPropertyListFile(const std::filesystem::path& path) {
    const BoundedFileRead read = readRegularFile(path.string(), maximumFileSize);
    if (read.status != BoundedFileRead::Status::ok || read.bytes.empty()) return std::nullopt;
    plist_t root = nullptr;
    plist_from_memory(reinterpret_cast<const char*>(read.bytes.data()), static_cast<std::uint32_t>(read.bytes.size()),
                      &root);
    if (!root) return std::nullopt;
    PlistPtr owner(root);
    return fromPlist(root, 0);
}

void writePropertyListFile(const std::filesystem::path& path, const PropertyListValue& value) {
    PlistPtr root(toPlist(value));
    char* xml = nullptr;
    std::uint32_t length = 0;
    plist_to_xml(root.get(), &xml, &length);
    if (!xml) throw std::system_error(std::make_error_code(std::errc::invalid_argument), "property list");
    std::string text(xml, length);
    plist_to_xml_free(xml);

    writeFileAtomically(path, text, 0644);
}

}  // namespace zentrabo::platform
