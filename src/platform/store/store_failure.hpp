#pragma once
// Why a store file could not be written, in words for the user who asked
// for the change ("no space left on the device"), and the error that carries
// that cause out of a store whose interface reports status numbers.
#include <stdexcept>
#include <string>
#include <system_error>

namespace zentrabo::platform {

// A lower-case phrase without a final full stop, to follow "Not saved: ".
std::string storeFailureReason(std::error_code error);

// A store file could not be written; nothing of the change was kept.
class StoreWriteError : public std::runtime_error {
public:
    explicit StoreWriteError(std::error_code cause);
    std::error_code cause() const noexcept { return cause_; }

private:
    std::error_code cause_;
};

}  // namespace zentrabo::platform
