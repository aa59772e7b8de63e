#include "security/halvardine_keychain.hpp"

#include "platform/store/store_failure.hpp"
#include "platform/text/utf8.hpp"
#include "security/halvardine_security_error.hpp"

namespace zentrabo {

using platform::KeyStoreStatus;

PasswordQuery HalvardineKeychain::passwordQuery(std::string_view account, std::string_view service) {
    return {std::string(service), std::string(account)};
}

std::optional<std::string> HalvardineKeychain::readString(std::string_view account, std::string_view service) const {
    const PasswordQuery query = passwordQuery(account, service);
    platform::Bytes data;
    if (keyStore_.readPassword(query.service, query.account, data) != KeyStoreStatus::success) {
        return std::nullopt;
    }
    std::string text(data.begin(), data.end());
    if (!platform::isValidUtf8(text)) return std::nullopt;
    return text;
}

void HalvardineKeychain::saveString(std::string_view value, std::string_view account, std::string_view service) {
    const PasswordQuery query = passwordQuery(account, service);
    const platform::ByteView data = platform::bytesOf(value);
    const KeyStoreStatus updated = keyStore_.updatePassword(query.service, query.account, data);
    if (updated == KeyStoreStatus::success) return;
    throwIfFileFailed(updated);
    if (updated != KeyStoreStatus::itemNotFound) {
        throw HalvardineSecurityError::identityUnavailable("Keychain update failed with status " +
                                                           std::to_string(platform::statusCode(updated)) + ".");
    }
    const KeyStoreStatus added = keyStore_.addPassword(query.service, query.account, data);
    throwIfFileFailed(added);
    if (added != KeyStoreStatus::success) {
        throw HalvardineSecurityError::identityUnavailable("Keychain insert failed with status " +
                                                           std::to_string(platform::statusCode(added)) + ".");
    }
}

void HalvardineKeychain::throwIfFileFailed(KeyStoreStatus status) const {
    // A disk that is full or read-only is the user's to fix, so it is told
    // in words, not as a status number.
    if (status == KeyStoreStatus::ioFailure && keyStore_.lastFileError()) {
        throw platform::StoreWriteError(keyStore_.lastFileError());
    }
}

KeyStoreStatus HalvardineKeychain::deleteItem(const PasswordQuery& query) {
    const KeyStoreStatus status = keyStore_.deletePassword(query.service, query.account);
    throwIfFileFailed(status);
    return status;
}

}  // namespace zentrabo
