#include "model/json/record_json.hpp"

#include <functional>

#include "platform/json/value_decoding.hpp"

namespace zentrabo::platform {

void JsonValueForm<Date>::read(JsonValue value, Date& out) {
    json_detail::decodeDouble(value, out.secondsSinceReferenceDate);
}

void JsonValueForm<Date>::write(JsonWriter& writer, const Date& date) { writer.number(date.secondsSinceReferenceDate); }

std::size_t JsonValueForm<Date>::hash(const Date& date) noexcept { return hashNumber(date.secondsSinceReferenceDate); }

void JsonValueForm<Uuid>::read(JsonValue value, Uuid& out) {
    const auto text = value.asString();
    if (!text) json_detail::throwWrongType(RecordFault::notString, "a UUID string");
    auto uuid = Uuid::parse(*text);
    if (!uuid) throw RecordDecodeError(RecordFault::invalidValue, "the UUID text is invalid.");
    out = std::move(*uuid);
}

void JsonValueForm<Uuid>::write(JsonWriter& writer, const Uuid& uuid) { writer.string(uuid.uuidString); }

std::size_t JsonValueForm<Uuid>::hash(const Uuid& uuid) noexcept {
    return std::hash<std::string_view>{}(uuid.uuidString);
}

}  // namespace zentrabo::platform
