#include "platform/store/key_store.hpp"

#include <algorithm>

#include "platform/store/key_store_file.hpp"
#include "platform/store/store_files.hpp"

namespace zentrabo::platform {

using keystore::Contents;
using keystore::Outcome;

std::filesystem::path KeyStore::filePath() { return dataFolder() / "keystore.json"; }

KeyStoreStatus KeyStore::findKey(std::string_view tag, std::optional<EcPrivateKey>& key) const {
    return keystore::inspect(lastFileError_, [&](const Contents& contents) {
        for (const auto& item : contents.keys) {
            if (item.tag == tag) {
                key = item.key;
                return KeyStoreStatus::success;
            }
        }
        return KeyStoreStatus::itemNotFound;
    });
}

KeyStoreStatus KeyStore::addKey(std::string_view tag, std::string_view label, const EcPrivateKey& key) {
    return keystore::transact(lastFileError_, [&](Contents& contents) -> Outcome {
        for (const auto& item : contents.keys) {
            if (item.tag == tag) return {KeyStoreStatus::duplicateItem};
        }
        contents.keys.push_back({std::string(tag), std::string(label), key});
        return {KeyStoreStatus::success, true};
    });
}

KeyStoreStatus KeyStore::findCertificates(std::string_view label, std::vector<Certificate>& certificates) const {
    return keystore::inspect(lastFileError_, [&](const Contents& contents) {
        for (const auto& item : contents.certificates) {
            if (item.label == label) certificates.push_back(item.certificate);
        }
        return certificates.empty() ? KeyStoreStatus::itemNotFound : KeyStoreStatus::success;
    });
}

KeyStoreStatus KeyStore::addCertificate(std::string_view label, const Certificate& certificate) {
    return keystore::transact(lastFileError_, [&](Contents& contents) -> Outcome {
        for (const auto& item : contents.certificates) {
            if (item.certificate.der() == certificate.der()) return {KeyStoreStatus::duplicateItem};
        }
        contents.certificates.push_back({std::string(label), certificate});
        return {KeyStoreStatus::success, true};
    });
}

KeyStoreStatus KeyStore::deleteCertificates(std::string_view label) {
    return keystore::transact(lastFileError_, [&](Contents& contents) -> Outcome {
        const auto removed =
            std::erase_if(contents.certificates, [&](const auto& item) { return item.label == label; });
        if (removed == 0) return {KeyStoreStatus::itemNotFound};
        return {KeyStoreStatus::success, true};
    });
}

KeyStoreStatus KeyStore::findIdentities(std::vector<KeyStoreIdentity>& identities) const {
    return keystore::inspect(lastFileError_, [&](const Contents& contents) {
        for (const auto& certificate : contents.certificates) {
            for (const auto& key : contents.keys) {
                if (key.key.matchesPublicKey(certificate.certificate.publicKey())) {
                    identities.push_back({key.key, certificate.certificate});
                    break;
                }
            }
        }
        return identities.empty() ? KeyStoreStatus::itemNotFound : KeyStoreStatus::success;
    });
}

namespace {

template <class Items>
auto findPassword(Items& items, std::string_view service, std::string_view account) {
    return std::find_if(items.begin(), items.end(),
                        [&](const auto& item) { return item.service == service && item.account == account; });
}

}  // namespace

KeyStoreStatus KeyStore::readPassword(std::string_view service, std::string_view account, Bytes& data) const {
    return keystore::inspect(lastFileError_, [&](const Contents& contents) {
        const auto item = findPassword(contents.passwords, service, account);
        if (item == contents.passwords.end()) return KeyStoreStatus::itemNotFound;
        data = item->data;
        return KeyStoreStatus::success;
    });
}

KeyStoreStatus KeyStore::updatePassword(std::string_view service, std::string_view account, ByteView data) {
    return keystore::transact(lastFileError_, [&](Contents& contents) -> Outcome {
        const auto item = findPassword(contents.passwords, service, account);
        if (item == contents.passwords.end()) return {KeyStoreStatus::itemNotFound};
        item->data.assign(data.begin(), data.end());
        return {KeyStoreStatus::success, true};
    });
}

KeyStoreStatus KeyStore::addPassword(std::string_view service, std::string_view account, ByteView data) {
    return keystore::transact(lastFileError_, [&](Contents& contents) -> Outcome {
        if (findPassword(contents.passwords, service, account) != contents.passwords.end()) {
            return {KeyStoreStatus::duplicateItem};
        }
        contents.passwords.push_back({std::string(service), std::string(account), Bytes(data.begin(), data.end())});
        return {KeyStoreStatus::success, true};
    });
}

KeyStoreStatus KeyStore::deletePassword(std::string_view service, std::string_view account) {
    return keystore::transact(lastFileError_, [&](Contents& contents) -> Outcome {
        const auto item = findPassword(contents.passwords, service, account);
        if (item == contents.passwords.end()) return {KeyStoreStatus::itemNotFound};
        contents.passwords.erase(item);
        return {KeyStoreStatus::success, true};
    });
}

}  // namespace zentrabo::platform
