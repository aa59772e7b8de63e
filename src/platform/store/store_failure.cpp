#include "platform/store/store_failure.hpp"

#include <cctype>
#include <cerrno>

namespace zentrabo::platform {

std::string storeFailureReason(std::error_code error) {
    if (error.category() == std::generic_category() || error.category() == std::system_category()) {
        switch (error.value()) {
        case ENOSPC:
            return "no space left on the device";
        case EDQUOT:
            return "the disk quota is used up";
        case EROFS:
            return "the file system is read-only";
        case EACCES:
        case EPERM:
            return "permission denied";
        case EIO:
            return "the device reported an input/output error";
        default:
            break;
        }
    }
    std::string reason = error.message();
    if (!reason.empty()) reason[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(reason[0])));
    return reason;
}

StoreWriteError::StoreWriteError(std::error_code cause)
    : std::runtime_error("The store file could not be written: " + storeFailureReason(cause) + "."), cause_(cause) {}

}  // namespace zentrabo::platform
