#include "platform/json/record_errors.hpp"

namespace zentrabo::platform {

RecordDecodeError::RecordDecodeError(RecordFault fault, std::string reason)
    : fault_(fault), reason_(std::move(reason)) {
    rebuildMessage();
}

void RecordDecodeError::prependKey(std::string_view key) {
    std::string path(key);
    if (!path_.empty() && path_.front() != '[') path.push_back('.');
    path_ = path + path_;
    rebuildMessage();
}

void RecordDecodeError::prependIndex(std::size_t index) {
    std::string path(1, '[');
    path += std::to_string(index);
    path.push_back(']');
    if (!path_.empty() && path_.front() != '[') path.push_back('.');
    path_ = path + path_;
    rebuildMessage();
}

void RecordDecodeError::rebuildMessage() {
    message_ = path_.empty() ? "Invalid record: " + reason_ : "Invalid record at " + path_ + ": " + reason_;
}

}  // namespace zentrabo::platform
