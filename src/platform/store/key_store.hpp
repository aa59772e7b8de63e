#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/crypto/bytes.hpp"
#include "platform/crypto/certificate.hpp"
#include "platform/crypto/ec_private_key.hpp"

namespace zentrabo::platform {

// Outcome of a key-store operation. The numbers are what callers show in
// messages ("... with status -25299.").
enum class KeyStoreStatus : int {
    success = 0,
    itemNotFound = -25300,
    duplicateItem = -25299,
    unreadable = -26275,  // the store file exists but is not a key store
    ioFailure = -36,      // the file or its folder could not be read or written
};

inline int statusCode(KeyStoreStatus status) noexcept { return static_cast<int>(status); }

// A sentence for messages and logs.
std::string_view describe(KeyStoreStatus status) noexcept;

// A stored certificate together with the stored private key of its public key.
struct KeyStoreIdentity {
    EcPrivateKey privateKey;
    Certificate certificate;
};

// Keys, certificates and generic passwords in one owner-only file,
// keystore.json in the data folder (store_files.hpp). Every operation reads
// the file afresh under an exclusive file lock, so threads and processes
// never interleave their changes, and every change rewrites the file
// atomically. A file that cannot be read as a key store is never touched:
// every operation then reports `unreadable`.
class KeyStore {
public:
    // The file as the environment names it now.
    static std::filesystem::path filePath();

    // Why the file or its folder failed in this object's last operation
    // that reported ioFailure; empty after any other outcome. One object
    // serves one thread at a time.
    std::error_code lastFileError() const noexcept { return lastFileError_; }
    // A sentence on the failure of this object's last operation that names
    // the file and, for ioFailure, says why in words.
    std::string describeFailure(KeyStoreStatus status) const;

    // Private keys, found by application tag.
    KeyStoreStatus findKey(std::string_view tag, std::optional<EcPrivateKey>& key) const;
    // duplicateItem when a key with the tag exists.
    KeyStoreStatus addKey(std::string_view tag, std::string_view label, const EcPrivateKey& key);

    // Certificates, found by label in the order they were added; itemNotFound
    // when there is none.
    KeyStoreStatus findCertificates(std::string_view label, std::vector<Certificate>& certificates) const;
    // duplicateItem when the same certificate (same DER bytes) is stored.
    KeyStoreStatus addCertificate(std::string_view label, const Certificate& certificate);
    // Removes every certificate with the label; itemNotFound when none was.
    KeyStoreStatus deleteCertificates(std::string_view label);

    // Every stored certificate whose public key belongs to a stored private
    // key, in certificate order; itemNotFound when there is none.
    KeyStoreStatus findIdentities(std::vector<KeyStoreIdentity>& identities) const;

    // Generic passwords, addressed by service and account.
    KeyStoreStatus readPassword(std::string_view service, std::string_view account, Bytes& data) const;
    // itemNotFound when no such item exists (nothing is added then).
    KeyStoreStatus updatePassword(std::string_view service, std::string_view account, ByteView data);
    // duplicateItem when the item exists.
    KeyStoreStatus addPassword(std::string_view service, std::string_view account, ByteView data);
    KeyStoreStatus deletePassword(std::string_view service, std::string_view account);

private:
    mutable std::error_code lastFileError_;
};

}  // namespace zentrabo::platform
