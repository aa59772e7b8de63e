#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/json/json_error.hpp"

namespace zentrabo::platform {

// Writes compact JSON straight into the caller's buffer, appending to what
// it already holds. The caller is responsible for the structure (a key
// before each member value, matching begin/end calls); the writer places the
// commas and colons.
class JsonWriter {
public:
    explicit JsonWriter(std::string& out) noexcept : out_(out) {}

    void beginObject();
    void endObject();
    void beginArray();
    void endArray();
    void key(std::string_view name);

    void null();
    void boolean(bool value);
    void integer(std::int64_t value);
    void unsignedInteger(std::uint64_t value);
    // Shortest text that reads back as the same double. Throws
    // JsonWriteError for infinity and not-a-number, which JSON cannot carry.
    void number(double value);
    // A string; invalid UTF-8 sequences are written as U+FFFD so the
    // document always stays valid JSON.
    void string(std::string_view text);
    // A string holding the Base64 form of bytes, encoded in place.
    void base64(std::span<const std::uint8_t> bytes);

private:
    void separate();
    void open(char bracket);
    void close(char bracket);
    template <class Whole>
    void wholeNumber(Whole value);
    void writeEscaped(std::string_view text);

    std::string& out_;
    bool needsComma_ = false;
};

}  // namespace zentrabo::platform
