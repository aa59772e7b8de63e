#pragma once

#include <exception>
#include <string>
#include <string_view>

namespace zentrabo::platform {

// What was wrong, for callers that describe faults in words of their own.
enum class RecordFault {
    notJson,
    notObject,
    notArray,
    notString,
    notBoolean,
    notNumber,
    // An integer member: not a number, not whole, or out of its type's range.
    notInteger,
    notWholeNumber,
    outOfRange,
    missing,
    unknownValue,
    // Text a value form refuses; the reason says why.
    invalidValue,
    tooDeep,
    unknownKey,
};

// A message that could not be read as the record it should be. The text
// names the member by its path of keys and the kind of fault; it never
// quotes the input, except the key of an unknown member in the path when
// unknown keys are refused (RecordReading::strict).
class RecordDecodeError : public std::exception {
public:
    RecordDecodeError(RecordFault fault, std::string reason);

    // Called on the way out of nested records and arrays to build the path.
    void prependKey(std::string_view key);
    void prependIndex(std::size_t index);

    RecordFault fault() const noexcept { return fault_; }
    const std::string& path() const noexcept { return path_; }
    const std::string& reason() const noexcept { return reason_; }
    const char* what() const noexcept override { return message_.c_str(); }

private:
    void rebuildMessage();

    RecordFault fault_;
    std::string reason_;
    std::string path_;
    std::string message_;
};

}  // namespace zentrabo::platform
