#pragma once

#include <string>

#include "platform/crypto/certificate.hpp"
#include "platform/crypto/ec_private_key.hpp"

namespace zentrabo {

// The long-lived TLS identity of one role: its key, the self-signed
// certificate for it, and that certificate's fingerprint.
struct TlsIdentity {
    platform::EcPrivateKey privateKey;
    platform::Certificate certificate;
    std::string fingerprint;
};

}  // namespace zentrabo
