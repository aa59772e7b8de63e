#pragma once

#include <exception>
#include <string>
#include <string_view>

namespace zentrabo {

// A message that could not be read as the record it should be. The text
// names the member by its path of keys and the kind of fault; it never
// quotes the input.
class RecordDecodeError : public std::exception {
public:
    explicit RecordDecodeError(std::string reason);

    // Called on the way out of nested records and arrays to build the path.
    void prependKey(std::string_view key);
    void prependIndex(std::size_t index);

    const std::string& path() const noexcept { return path_; }
    const std::string& reason() const noexcept { return reason_; }
    const char* what() const noexcept override { return message_.c_str(); }

private:
    void rebuildMessage();

    std::string reason_;
    std::string path_;
    std::string message_;
};

}  // namespace zentrabo
