#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "platform/crypto/certificate.hpp"
#include "platform/crypto/ec_private_key.hpp"

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
};

}  // namespace zentrabo
