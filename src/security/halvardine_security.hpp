#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/crypto/certificate.hpp"
#include "platform/crypto/ec_private_key.hpp"
#include "platform/dispatch/clock.hpp"
#include "platform/net/tls_connection.hpp"
#include "platform/net/tls_context.hpp"
#include "platform/store/key_store.hpp"
#include "platform/store/user_defaults.hpp"
#include "security/tls_identity.hpp"

namespace zentrabo {

// The reverse-DNS prefix of every key-store identifier (key tags, password
// services) and of the certificate copies in the user defaults. Changing it
// orphans everything stored under the old one.
inline constexpr std::string_view identifierPrefix = "org.zentrabo.Halvardine";

// The TLS identities of the server and client roles, their self-signed
// certificates and fingerprints. Nothing is held in memory between calls:
// every call reads the key store and the user defaults again.
class HalvardineSecurity {
public:
    using Clock = std::chrono::system_clock;

    // The clock dates new certificates and relay proofs.
    HalvardineSecurity(platform::UserDefaults& defaults, const platform::Clock& clock)
        : defaults_(&defaults), clock_(&clock) {}

    const platform::Clock& clock() const noexcept { return *clock_; }

    // The role's identity: found, repaired from what is left, or made on
    // first use. A new key or certificate is made only when the key store
    // says the item is not there; any other failure of the store is thrown
    // as HalvardineSecurityError, never a reason to replace the identity.
    TlsIdentity loadOrCreateIdentity(bool server);

    // "Zentrabo Server TLS Identity" or "Zentrabo Client TLS Identity".
    static std::string identityLabel(bool server);

    // The listener's TLS settings with the server identity.
    std::shared_ptr<platform::TlsContext> serverParameters();
    // The client's TLS settings with the client identity and the pin.
    std::shared_ptr<platform::TlsContext> clientParameters(
        std::optional<std::string_view> pinnedServerCertificateFingerprint);

    // The long-lived key that signs relay registrations; made when the store
    // says it is not there. Throws privateKeyUnavailable.
    platform::EcPrivateKey loadOrCreateRelayControlKey();

    // The steps of loadOrCreateIdentity.
    platform::EcPrivateKey loadOrCreateTLSPrivateKey(bool server);
    std::vector<platform::Certificate> candidateCertificates(bool server);
    std::optional<platform::KeyStoreIdentity> identity(const platform::Certificate& matching);
    void storeCertificate(const platform::Certificate& certificate, bool server);
    void removeStoredCertificates(bool server);
    void saveCertificateCopy(const platform::Certificate& certificate, bool server);

    // An X.509 v3 certificate for the key, self-signed with ECDSA over
    // SHA-256, valid from an hour before `now` for 3650 days. Throws
    // HalvardineSecurityError (publicKeyUnavailable, signatureFailed,
    // invalidCertificate).
    static platform::Certificate makeSelfSignedCertificate(const platform::EcPrivateKey& privateKey,
                                                           std::string_view commonName,
                                                           Clock::time_point now = Clock::now());

    // SHA-256 of the certificate's DER bytes as 64 lowercase hexadecimal digits.
    static std::string fingerprint(const platform::Certificate& certificate);

    // A fingerprint as typed or stored elsewhere, trimmed of white space and
    // line breaks, without ":" and spaces, lowercased; none when empty.
    static std::optional<std::string> normalizedFingerprint(std::string_view fingerprint);

    // The handshake's decision on the peer's leaf certificate (null when the
    // peer presented none): trust comes from the pinned fingerprint alone.
    static bool verify(const platform::Certificate* leaf, bool requireCertificate,
                       const std::optional<std::string>& pinnedFingerprint);

    // The check for a TLS context: normalises the pin once and applies verify.
    static platform::PeerCertificateCheck makeVerifyBlock(std::optional<std::string_view> pin, bool requireCertificate);

    // TLS 1.3 settings of a role with its identity: the server asks every
    // client for a certificate and accepts any; the client accepts only a
    // server whose fingerprint equals the pin (any server without a pin).
    // Throws HalvardineSecurityError when OpenSSL refuses the identity.
    static std::shared_ptr<platform::TlsContext> tlsParameters(platform::TlsRole role, const TlsIdentity& identity,
                                                               std::optional<std::string_view> pinnedFingerprint);

    // The fingerprint of the certificate the peer presented; none before the
    // handshake or without a certificate.
    static std::optional<std::string> peerCertificateFingerprint(const platform::TlsConnection& connection);

private:
    platform::KeyStore keyStore_;
    platform::UserDefaults* defaults_;  // never null
    const platform::Clock* clock_;      // never null
};

}  // namespace zentrabo
