#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/json/json_reader.hpp"
#include "platform/json/record_errors.hpp"

// Readers of the built-in leaf types of records; each throws
// RecordDecodeError.
namespace zentrabo::platform::json_detail {

void decodeString(JsonValue value, std::string& out);
void decodeBool(JsonValue value, bool& out);
void decodeDouble(JsonValue value, double& out);
void decodeBytes(JsonValue value, std::vector<std::uint8_t>& out);
std::string_view decodeEnumText(JsonValue value);
[[noreturn]] void throwUnknownEnumValue();
[[noreturn]] void throwIntegerFailure(JsonIntegerStatus status);
[[noreturn]] void throwWrongType(RecordFault fault, std::string_view expected);
[[noreturn]] void throwMissing();
[[noreturn]] void throwTooDeep();
[[noreturn]] void throwUnknownKey();

template <class T>
void decodeInteger(JsonValue value, T& out) {
    const auto status = value.getInteger(out);
    if (status != JsonIntegerStatus::ok) throwIntegerFailure(status);
}

}  // namespace zentrabo::platform::json_detail
