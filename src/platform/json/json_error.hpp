#pragma once

#include <stdexcept>

namespace zentrabo::platform {

// A document that could not be read. The message names only the kind of
// fault, never any of the input, so it is safe to log even when the text
// carried a password.
class JsonParseError : public std::runtime_error {
public:
    enum class Kind { malformed, tooDeep, invalidUtf8, invalidString, invalidNumber, tooLarge, outOfMemory };

    explicit JsonParseError(Kind kind);
    Kind kind() const noexcept { return kind_; }

private:
    Kind kind_;
};

// A value that JSON cannot carry (a non-finite number), or a structure the
// caller refuses to write.
class JsonWriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace zentrabo::platform
