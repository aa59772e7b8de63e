#include "platform/json/value_decoding.hpp"

#include "platform/text/base64.hpp"

namespace zentrabo::platform::json_detail {

void throwWrongType(RecordFault fault, std::string_view expected) {
    throw RecordDecodeError(fault, "expected " + std::string(expected) + ".");
}

void throwMissing() { throw RecordDecodeError(RecordFault::missing, "a required value is missing."); }

void throwUnknownEnumValue() {
    throw RecordDecodeError(RecordFault::unknownValue, "the text is not one of the known values.");
}

void throwTooDeep() { throw RecordDecodeError(RecordFault::tooDeep, "the tree is nested too deeply."); }

void throwUnknownKey() { throw RecordDecodeError(RecordFault::unknownKey, "the key is not one of the known ones."); }

void throwIntegerFailure(JsonIntegerStatus status) {
    switch (status) {
    case JsonIntegerStatus::notNumber:
        throwWrongType(RecordFault::notInteger, "a number");
    case JsonIntegerStatus::notWhole:
        throw RecordDecodeError(RecordFault::notWholeNumber, "expected a whole number.");
    default:
        throw RecordDecodeError(RecordFault::outOfRange, "the number is out of range.");
    }
}

void decodeString(JsonValue value, std::string& out) {
    const auto text = value.asString();
    if (!text) throwWrongType(RecordFault::notString, "a string");
    out.assign(*text);
}

void decodeBool(JsonValue value, bool& out) {
    const auto flag = value.asBool();
    if (!flag) throwWrongType(RecordFault::notBoolean, "true or false");
    out = *flag;
}

void decodeDouble(JsonValue value, double& out) {
    const auto number = value.asDouble();
    if (!number) throwWrongType(RecordFault::notNumber, "a number");
    out = *number;
}

void decodeBytes(JsonValue value, std::vector<std::uint8_t>& out) {
    const auto text = value.asString();
    if (!text) throwWrongType(RecordFault::notString, "a Base64 string");
    if (!base64Decode(*text, out)) throw RecordDecodeError(RecordFault::invalidValue, "the Base64 text is invalid.");
}

std::string_view decodeEnumText(JsonValue value) {
    const auto text = value.asString();
    if (!text) throwWrongType(RecordFault::notString, "a string");
    return *text;
}

}  // namespace zentrabo::platform::json_detail
