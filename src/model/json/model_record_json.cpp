#include "model/json/model_record_json.hpp"

#include <functional>

#include "platform/json/value_decoding.hpp"

namespace zentrabo::platform {

void JsonValueForm<platform::Date>::read(JsonValue value, platform::Date& out) {
    json_detail::decodeDouble(value, out.secondsSinceReferenceDate);
}

void JsonValueForm<platform::Date>::write(JsonWriter& writer, const platform::Date& date) {
    writer.number(date.secondsSinceReferenceDate);
}

std::size_t JsonValueForm<platform::Date>::hash(const platform::Date& date) noexcept {
    return hashNumber(date.secondsSinceReferenceDate);
}

void JsonValueForm<platform::Uuid>::read(JsonValue value, platform::Uuid& out) {
    const auto text = value.asString();
    if (!text) json_detail::throwWrongType(RecordFault::notString, "a UUID string");
    auto uuid = platform::Uuid::parse(*text);
    if (!uuid) throw RecordDecodeError(RecordFault::invalidValue, "the UUID text is invalid.");
    out = std::move(*uuid);
}

void JsonValueForm<platform::Uuid>::write(JsonWriter& writer, const platform::Uuid& uuid) {
    writer.string(uuid.uuidString);
}

std::size_t JsonValueForm<platform::Uuid>::hash(const platform::Uuid& uuid) noexcept {
    return std::hash<std::string_view>{}(uuid.uuidString);
}

}  // namespace zentrabo::platform
