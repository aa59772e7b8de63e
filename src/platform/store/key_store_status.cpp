#include "platform/store/key_store.hpp"
#include "platform/store/store_failure.hpp"
#include "platform/text/case_table.hpp"

namespace zentrabo::platform {

std::string_view describe(KeyStoreStatus status) noexcept {
    static constexpr auto descriptions = caseTable<KeyStoreStatus, std::string_view>({
        {KeyStoreStatus::success, "The key store operation succeeded."},
        {KeyStoreStatus::itemNotFound, "The item was not found in the key store."},
        {KeyStoreStatus::duplicateItem, "The item already exists in the key store."},
        {KeyStoreStatus::unreadable, "The key store file is damaged and was left untouched."},
        {KeyStoreStatus::ioFailure, "The key store file could not be read or written."},
    });
    return descriptions.entryOr(status, "The key store failed.");
}

std::string KeyStore::describeFailure(KeyStoreStatus status) const {
    const std::string file = "The key store file " + filePath().string();
    switch (status) {
    case KeyStoreStatus::unreadable:
        return file + " is damaged and was left untouched.";
    case KeyStoreStatus::ioFailure:
        if (lastFileError_) return file + " could not be read or written: " + storeFailureReason(lastFileError_) + ".";
        return file + " could not be read or written.";
    default:
        return std::string(describe(status));
    }
}

}  // namespace zentrabo::platform
