#include "security/halvardine_keychain.hpp"

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
    if (updated != KeyStoreStatus::itemNotFound) {
        throw HalvardineSecurityError::identityUnavailable("Keychain update failed with status " +
                                                           std::to_string(platform::statusCode(updated)) + ".");
    }
    const KeyStoreStatus added = keyStore_.addPassword(query.service, query.account, data);
    if (added != KeyStoreStatus::success) {
        throw HalvardineSecurityError::identityUnavailable("Keychain insert failed with status " +
                                                           std::to_string(platform::statusCode(added)) + ".");
    }
}

KeyStoreStatus HalvardineKeychain::deleteItem(const PasswordQuery& query) {
    return keyStore_.deletePassword(query.service, query.account);
}

}  // namespace zentrabo
