#include "platform/store/user_defaults_file.hpp"

#include "platform/json/json_error.hpp"
#include "platform/json/json_reader.hpp"
#include "platform/json/json_writer.hpp"
#include "platform/text/base64.hpp"

namespace zentrabo::platform::defaults {
namespace {

constexpr std::string_view dataKey = "data";

struct ValueWriter {
    JsonWriter& writer;
    void operator()(bool value) const { writer.boolean(value); }
    void operator()(std::int64_t value) const { writer.integer(value); }
    void operator()(double value) const { writer.number(value); }
    void operator()(const std::string& value) const { writer.string(value); }
    void operator()(const Bytes& value) const {
        writer.beginObject();
        writer.key(dataKey);
        writer.base64(value);
        writer.endObject();
    }
    void operator()(const std::vector<std::string>& values) const {
        writer.beginArray();
        for (const auto& value : values) writer.string(value);
        writer.endArray();
    }
};

// Reads one stored value into out; false when it is not one we write.
bool readValue(const JsonValue& value, DefaultsValue& out) {
    switch (value.type()) {
    case JsonType::boolean:
        out = *value.asBool();
        return true;
    case JsonType::signedInteger: {
        std::int64_t number = 0;
        if (value.getInteger(number) != JsonIntegerStatus::ok) return false;
        out = number;
        return true;
    }
    case JsonType::unsignedInteger:
    case JsonType::floating:
        out = *value.asDouble();
        return true;
    case JsonType::string:
        out = std::string(*value.asString());
        return true;
    case JsonType::object: {
        const auto object = value.asObject();
        const auto text = object->find(dataKey);
        Bytes bytes;
        if (object->size() != 1 || !text || !text->asString() || !base64Decode(*text->asString(), bytes)) {
            return false;
        }
        out = std::move(bytes);
        return true;
    }
    case JsonType::array: {
        std::vector<std::string> strings;
        const auto array = value.asArray();
        for (const JsonValue element : *array) {
            const auto text = element.asString();
            if (!text) return false;
            strings.emplace_back(*text);
        }
        out = std::move(strings);
        return true;
    }
    case JsonType::null:
        return false;
    }
    return false;
}

}  // namespace

std::string serialize(const Values& values) {
    std::string text;
    JsonWriter writer(text);
    writer.beginObject();
    for (const auto& [key, value] : values) {
        writer.key(key);
        std::visit(ValueWriter{writer}, value);
    }
    writer.endObject();
    text.push_back('\n');
    return text;
}

std::optional<Values> parse(const std::string& text) {
    try {
        const JsonDocument document = JsonDocument::parse(text);
        const auto root = document.root().asObject();
        if (!root) return std::nullopt;
        Values values;
        for (const JsonField field : *root) {
            if (!readValue(field.value, values[std::string(field.key)])) return std::nullopt;
        }
        return values;
    } catch (const JsonParseError&) {
        return std::nullopt;
    }
}

}  // namespace zentrabo::platform::defaults
