#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/store/key_store.hpp"

namespace zentrabo {

// A generic-password item of the key store: one UTF-8 text under a service
// and an account.
struct PasswordQuery {
    std::string service;
    std::string account;
};

// Small secrets of the server (the extra-authorization password record,
// the relay secret) as generic passwords.
class HalvardineKeychain {
public:
    static PasswordQuery passwordQuery(std::string_view account, std::string_view service);

    // The item's text; none when it is missing, unreadable or not UTF-8.
    std::optional<std::string> readString(std::string_view account, std::string_view service) const;

    // Updates the item, or adds it when it does not exist. Throws
    // platform::StoreWriteError when the store's file could not be written,
    // else HalvardineSecurityError (identityUnavailable) with the store's
    // status.
    void saveString(std::string_view value, std::string_view account, std::string_view service);

    // Removes the item; the outcome is for callers that care. Throws
    // platform::StoreWriteError when the store's file could not be written:
    // the item is then still there.
    platform::KeyStoreStatus deleteItem(const PasswordQuery& query);

private:
    void throwIfFileFailed(platform::KeyStoreStatus status) const;

    platform::KeyStore keyStore_;
};

}  // namespace zentrabo
