#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "model/data.hpp"
#include "model/date.hpp"
#include "model/uuid.hpp"
#include "platform/json/json_reader.hpp"

// Readers of the leaf types of records; each throws RecordDecodeError.
namespace zentrabo::json_detail {

void decodeString(platform::JsonValue value, std::string& out);
void decodeBool(platform::JsonValue value, bool& out);
void decodeDouble(platform::JsonValue value, double& out);
void decodeDate(platform::JsonValue value, Date& out);
void decodeData(platform::JsonValue value, Data& out);
void decodeUuid(platform::JsonValue value, Uuid& out);
std::string_view decodeEnumText(platform::JsonValue value);
[[noreturn]] void throwUnknownEnumValue();
[[noreturn]] void throwIntegerFailure(platform::JsonIntegerStatus status);
[[noreturn]] void throwWrongType(std::string_view expected);
[[noreturn]] void throwMissing();
[[noreturn]] void throwTooDeep();

template <class T>
void decodeInteger(platform::JsonValue value, T& out) {
    const auto status = value.getInteger(out);
    if (status != platform::JsonIntegerStatus::ok) throwIntegerFailure(status);
}

}  // namespace zentrabo::json_detail
