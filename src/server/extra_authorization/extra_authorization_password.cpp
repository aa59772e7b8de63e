#include "server/extra_authorization/extra_authorization_password.hpp"

#include <climits>
#include <vector>

#include "platform/crypto/bytes.hpp"
#include "platform/crypto/digest.hpp"
#include "platform/random/random_bytes.hpp"
#include "platform/text/base64.hpp"
#include "security/halvardine_security.hpp"
#include "security/halvardine_security_error.hpp"

namespace zentrabo {

using Parameters = ExtraAuthorizationPasswordParameters;

ExtraAuthorizationPasswordRecord makeExtraAuthorizationPasswordRecord(std::string_view password) {
    // A salt comes from the secure generator alone: its failure refuses the
    // password instead of weakening it.
    std::vector<std::uint8_t> salt(Parameters::saltByteCount);
    try {
        platform::fillSecureRandom(salt);
    } catch (const platform::RandomGenerationError& error) {
        throw HalvardineSecurityError::identityUnavailable(error.what());
    }
    const platform::Bytes key =
        platform::pbkdf2HmacSha256(platform::bytesOf(password), salt,
                                   static_cast<std::uint32_t>(Parameters::iterations), Parameters::keyByteCount);
    return ExtraAuthorizationPasswordRecord{std::string(Parameters::algorithm), Parameters::iterations,
                                            platform::base64Encode(salt), platform::base64Encode(key)};
}

bool verifyExtraAuthorizationPassword(std::string_view password,
                                      const ExtraAuthorizationPasswordRecord& record) noexcept {
    if (record.algorithm != Parameters::algorithm) return false;
    // The derivation counts iterations in an int; a larger count must not
    // wrap into some other count.
    if (record.iterations < 1 || record.iterations > INT_MAX) return false;
    try {
        std::vector<std::uint8_t> salt;
        std::vector<std::uint8_t> expected;
        if (!platform::base64Decode(record.salt, salt) || !platform::base64Decode(record.hash, expected)) {
            return false;
        }
        // An empty key would match the empty derivation of any password.
        if (expected.empty()) return false;
        const platform::Bytes derived = platform::pbkdf2HmacSha256(
            platform::bytesOf(password), salt, static_cast<std::uint32_t>(record.iterations), expected.size());
        return platform::constantTimeEquals(derived, expected);
    } catch (...) {
        // Out of memory, or parameters the derivation refuses: no match.
        return false;
    }
}

std::string extraAuthorizationPasswordItemText(const ExtraAuthorizationPasswordRecord& record) {
    return platform::base64Encode(platform::bytesOf(encodeRecord(record)));
}

std::optional<ExtraAuthorizationPasswordRecord> extraAuthorizationPasswordRecordFromItemText(std::string_view text) {
    std::vector<std::uint8_t> json;
    if (!platform::base64Decode(text, json)) return std::nullopt;
    try {
        return decodeRecord<ExtraAuthorizationPasswordRecord>(
            std::string_view(reinterpret_cast<const char*>(json.data()), json.size()));
    } catch (const RecordDecodeError&) {
        return std::nullopt;
    }
}

std::string ExtraAuthorizationPasswordItem::service() { return std::string(identifierPrefix) + ".extraAuthorization"; }

std::optional<ExtraAuthorizationPasswordRecord> ExtraAuthorizationPasswordItem::load(
    const HalvardineKeychain& keychain) {
    const auto text = keychain.readString(account, service());
    if (!text) return std::nullopt;
    return extraAuthorizationPasswordRecordFromItemText(*text);
}

void ExtraAuthorizationPasswordItem::save(HalvardineKeychain& keychain,
                                          const ExtraAuthorizationPasswordRecord& record) {
    keychain.saveString(extraAuthorizationPasswordItemText(record), account, service());
}

void ExtraAuthorizationPasswordItem::remove(HalvardineKeychain& keychain) {
    (void)keychain.deleteItem(HalvardineKeychain::passwordQuery(account, service()));
}

}  // namespace zentrabo
