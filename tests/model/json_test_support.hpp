#pragma once
// Helpers for golden tests of records: compare JSON texts by content, with
// member order ignored.
#include <algorithm>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "model/json/model_record_json.hpp"
#include "platform/json/json_reader.hpp"
#include "platform/json/json_writer.hpp"
#include "support/small_stack.hpp"

namespace zentrabo::testing {

inline void writeCanonical(platform::JsonValue value, platform::JsonWriter& writer) {
    using platform::JsonType;
    switch (value.type()) {
    case JsonType::null:
        writer.null();
        break;
    case JsonType::boolean:
        writer.boolean(*value.asBool());
        break;
    case JsonType::string:
        writer.string(*value.asString());
        break;
    case JsonType::signedInteger:
    case JsonType::unsignedInteger:
    case JsonType::floating:
        writer.number(*value.asDouble());
        break;
    case JsonType::array: {
        writer.beginArray();
        const auto array = value.asArray();
        for (const auto element : *array) writeCanonical(element, writer);
        writer.endArray();
        break;
    }
    case JsonType::object: {
        const auto object = value.asObject();
        std::vector<platform::JsonField> members(object->begin(), object->end());
        std::sort(members.begin(), members.end(), [](const auto& a, const auto& b) { return a.key < b.key; });
        writer.beginObject();
        for (const auto& member : members) {
            writer.key(member.key);
            writeCanonical(member.value, writer);
        }
        writer.endObject();
        break;
    }
    }
}

// The JSON text with the members of every object sorted by key and every
// number written as a double.
inline std::string canonicalJson(std::string_view json) {
    const auto document = platform::JsonDocument::parse(json);
    std::string out;
    platform::JsonWriter writer(out);
    writeCanonical(document.root(), writer);
    return out;
}

// The record's JSON says exactly what the golden line says, whatever the
// member order.
template <platform::Record R>
std::string encodedCanonically(const R& record) {
    return canonicalJson(encodeRecord(record));
}

// Decodes the line, and checks that writing the result gives the same
// members back.
template <platform::Record R>
R decodeGolden(std::string_view line) {
    R record = decodeRecord<R>(line);
    if (encodedCanonically(record) != canonicalJson(line)) {
        throw std::runtime_error("re-encoded differs: " + encodeRecord(record));
    }
    return record;
}

template <platform::Record R>
bool decodes(std::string_view line) {
    try {
        decodeRecord<R>(line);
        return true;
    } catch (const RecordDecodeError&) {
        return false;
    }
}

}  // namespace zentrabo::testing
