#include <algorithm>

#include "platform/crypto/crypto_error.hpp"
#include "platform/text/trim.hpp"
#include "security/halvardine_security.hpp"
#include "security/halvardine_security_error.hpp"

namespace zentrabo {

std::optional<std::string> HalvardineSecurity::normalizedFingerprint(std::string_view fingerprint) {
    std::string normalized = platform::trimWhitespaceAndNewlines(fingerprint);
    std::erase_if(normalized, [](char character) { return character == ':' || character == ' '; });
    std::transform(normalized.begin(), normalized.end(), normalized.begin(), [](char character) {
        return character >= 'A' && character <= 'Z' ? static_cast<char>(character - 'A' + 'a') : character;
    });
    if (normalized.empty()) return std::nullopt;
    return normalized;
}

bool HalvardineSecurity::verify(const platform::Certificate* leaf, bool requireCertificate,
                                const std::optional<std::string>& pinnedFingerprint) {
    if (requireCertificate && leaf == nullptr) return false;
    if (!pinnedFingerprint) return true;
    if (leaf == nullptr) return false;
    return fingerprint(*leaf) == *pinnedFingerprint;
}

platform::PeerCertificateCheck HalvardineSecurity::makeVerifyBlock(std::optional<std::string_view> pin,
                                                                   bool requireCertificate) {
    std::optional<std::string> pinned = pin ? normalizedFingerprint(*pin) : std::nullopt;
    return [pinned = std::move(pinned), requireCertificate](const platform::Certificate* leaf) {
        return verify(leaf, requireCertificate, pinned);
    };
}

std::shared_ptr<platform::TlsContext> HalvardineSecurity::tlsParameters(
    platform::TlsRole role, const TlsIdentity& identity, std::optional<std::string_view> pinnedFingerprint) {
    // The server never pins: which client may do what is decided per request.
    if (role == platform::TlsRole::server) pinnedFingerprint.reset();
    try {
        return platform::TlsContext::make(role, identity.privateKey, identity.certificate,
                                          makeVerifyBlock(pinnedFingerprint, true));
    } catch (const platform::CryptoError& error) {
        throw HalvardineSecurityError::identityUnavailable(error.what());
    }
}

std::optional<std::string> HalvardineSecurity::peerCertificateFingerprint(const platform::TlsConnection& connection) {
    return connection.peerCertificateFingerprint();
}

}  // namespace zentrabo
