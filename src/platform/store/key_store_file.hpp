#pragma once

#include <functional>
#include <string>
#include <system_error>
#include <tuple>
#include <vector>

#include "platform/json/field_table.hpp"
#include "platform/store/key_store.hpp"

namespace zentrabo::platform::keystore {

struct KeyItem {
    std::string tag;
    std::string label;
    EcPrivateKey key;
};

struct CertificateItem {
    std::string label;
    Certificate certificate;
};

struct PasswordItem {
    std::string service;
    std::string account;
    Bytes data;
    // As the file holds it.
    static constexpr auto jsonFields() {
        return std::tuple{field("service", &PasswordItem::service), field("account", &PasswordItem::account),
                          field("data", &PasswordItem::data)};
    }
};

struct Contents {
    std::vector<KeyItem> keys;
    std::vector<CertificateItem> certificates;
    std::vector<PasswordItem> passwords;
};

// What an operation does with the contents it was given: `changed` asks
// for the file to be rewritten (only when the status is success).
struct Outcome {
    KeyStoreStatus status;
    bool changed = false;
};

// Runs the operation on the file's current contents under an exclusive lock
// and writes them back when it changed them. A missing file is an empty
// store; an unreadable one ends the call before the operation runs. When the
// status is ioFailure, fileError says why the file or its folder failed.
KeyStoreStatus transact(std::error_code& fileError, const std::function<Outcome(Contents&)>& operation);

// The same without the right to change anything; a missing store folder is
// not created for it.
KeyStoreStatus inspect(std::error_code& fileError, const std::function<KeyStoreStatus(const Contents&)>& operation);

}  // namespace zentrabo::platform::keystore
