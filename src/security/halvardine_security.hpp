#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/crypto/certificate.hpp"
#include "platform/crypto/ec_private_key.hpp"
#include "platform/net/tls_connection.hpp"
#include "platform/net/tls_context.hpp"
#include "security/tls_identity.hpp"

namespace zentrabo {

// The TLS identities of the server and client roles, their self-signed
// certificates and fingerprints.
class HalvardineSecurity {
 public:
  using Clock = std::chrono::system_clock;

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
  static platform::PeerCertificateCheck makeVerifyBlock(std::optional<std::string_view> pin,
                                                        bool requireCertificate);

  // TLS 1.3 settings of a role with its identity: the server asks every
  // client for a certificate and accepts any; the client accepts only a
  // server whose fingerprint equals the pin (any server without a pin).
  // Throws HalvardineSecurityError when OpenSSL refuses the identity.
  static std::shared_ptr<platform::TlsContext> tlsParameters(
      platform::TlsRole role, const TlsIdentity& identity,
      std::optional<std::string_view> pinnedFingerprint);

  // The fingerprint of the certificate the peer presented; none before the
  // handshake or without a certificate.
  static std::optional<std::string> peerCertificateFingerprint(
      const platform::TlsConnection& connection);
};

}  // namespace zentrabo
