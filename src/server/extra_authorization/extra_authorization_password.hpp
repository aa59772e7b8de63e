#pragma once
// The extra-authorization password is never stored. The server keeps a
// record of a random salt and a key derived from the password with
// PBKDF2-HMAC-SHA256, and checks a presented password by deriving the key
// again. Deriving is slow on purpose: callers on the main loop run it through
// ExtraAuthorizationKeyDerivation, never inline.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>

#include "model/json/model_record_json.hpp"
#include "security/halvardine_keychain.hpp"

namespace zentrabo {

struct ExtraAuthorizationPasswordRecord {
    std::string algorithm;
    std::int64_t iterations = 0;
    // Standard Base64 with padding.
    std::string salt;
    std::string hash;

    static constexpr auto jsonFields() {
        using R = ExtraAuthorizationPasswordRecord;
        return std::tuple{
            field("algorithm", &R::algorithm),
            field("iterations", &R::iterations),
            field("salt", &R::salt),
            field("hash", &R::hash),
        };
    }

    friend bool operator==(const ExtraAuthorizationPasswordRecord&, const ExtraAuthorizationPasswordRecord&) = default;
};

struct ExtraAuthorizationPasswordParameters {
    static constexpr std::string_view algorithm = "pbkdf2-hmac-sha256";
    static constexpr std::int64_t iterations = 120000;
    static constexpr std::size_t saltByteCount = 16;
    static constexpr std::size_t keyByteCount = 32;
};

// A new record for the password (its UTF-8 bytes as given; callers trim).
// Throws HalvardineSecurityError when the generator cannot give a salt.
ExtraAuthorizationPasswordRecord makeExtraAuthorizationPasswordRecord(std::string_view password);

// Whether the password derives the record's key with the record's own
// parameters. A record that is malformed in any way (another algorithm, an
// iteration count below 1 or beyond what the derivation accepts, a salt or
// hash that is not strict Base64, an empty hash) never verifies. The keys
// are compared in constant time. Never throws.
bool verifyExtraAuthorizationPassword(std::string_view password,
                                      const ExtraAuthorizationPasswordRecord& record) noexcept;

// The key-store item: the Base64 text of the record's JSON form.
std::string extraAuthorizationPasswordItemText(const ExtraAuthorizationPasswordRecord& record);
// None when the text is not Base64 of the record's JSON form.
std::optional<ExtraAuthorizationPasswordRecord> extraAuthorizationPasswordRecordFromItemText(std::string_view text);

// Where the record lives in the key store.
struct ExtraAuthorizationPasswordItem {
    static constexpr std::string_view account = "passwordHash";
    static std::string service();

    // None when the item is missing or does not hold a record; the item is
    // then left as it is.
    static std::optional<ExtraAuthorizationPasswordRecord> load(const HalvardineKeychain& keychain);
    // Throws the key store's HalvardineSecurityError.
    static void save(HalvardineKeychain& keychain, const ExtraAuthorizationPasswordRecord& record);
    // Whatever the store answers, the password counts as removed, except a
    // store file that cannot be written (platform::StoreWriteError): the
    // password would be back at the next start.
    static void remove(HalvardineKeychain& keychain);
};

}  // namespace zentrabo
