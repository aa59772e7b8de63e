#include "model/json/value_decoding.hpp"

#include "model/json/record_errors.hpp"
#include "platform/text/base64.hpp"

namespace zentrabo::json_detail {

void throwWrongType(std::string_view expected) { throw RecordDecodeError("expected " + std::string(expected) + "."); }

void throwMissing() { throw RecordDecodeError("a required value is missing."); }

void throwUnknownEnumValue() { throw RecordDecodeError("the text is not one of the known values."); }

void throwTooDeep() { throw RecordDecodeError("the tree is nested too deeply."); }

void throwIntegerFailure(platform::JsonIntegerStatus status) {
    switch (status) {
    case platform::JsonIntegerStatus::notNumber:
        throwWrongType("a number");
    case platform::JsonIntegerStatus::notWhole:
        throw RecordDecodeError("expected a whole number.");
    default:
        throw RecordDecodeError("the number is out of range.");
    }
}

void decodeString(platform::JsonValue value, std::string& out) {
    const auto text = value.asString();
    if (!text) throwWrongType("a string");
    out.assign(*text);
}

void decodeBool(platform::JsonValue value, bool& out) {
    const auto flag = value.asBool();
    if (!flag) throwWrongType("true or false");
    out = *flag;
}

void decodeDouble(platform::JsonValue value, double& out) {
    const auto number = value.asDouble();
    if (!number) throwWrongType("a number");
    out = *number;
}

void decodeDate(platform::JsonValue value, Date& out) { decodeDouble(value, out.secondsSinceReferenceDate); }

void decodeData(platform::JsonValue value, Data& out) {
    const auto text = value.asString();
    if (!text) throwWrongType("a Base64 string");
    if (!platform::base64Decode(*text, out)) throw RecordDecodeError("the Base64 text is invalid.");
}

void decodeUuid(platform::JsonValue value, Uuid& out) {
    const auto text = value.asString();
    if (!text) throwWrongType("a UUID string");
    const auto uuid = Uuid::parse(*text);
    if (!uuid) throw RecordDecodeError("the UUID text is invalid.");
    out = *uuid;
}

std::string_view decodeEnumText(platform::JsonValue value) {
    const auto text = value.asString();
    if (!text) throwWrongType("a string");
    return *text;
}

}  // namespace zentrabo::json_detail
