#pragma once
// A self-signed TLS identity made for one bench run, with its server and
// client contexts.
#include <memory>
#include <optional>
#include <string>

#include "security/halvardine_security.hpp"

namespace zentrabo::bench {

struct BenchTlsIdentity {
    BenchTlsIdentity()
        : key(platform::EcPrivateKey::generate()),
          certificate(HalvardineSecurity::makeSelfSignedCertificate(key, "Zentrabo Bench")),
          fingerprint(HalvardineSecurity::fingerprint(certificate)) {}
    std::shared_ptr<platform::TlsContext> context(platform::TlsRole role) const {
        return HalvardineSecurity::tlsParameters(role, TlsIdentity{key, certificate, fingerprint}, std::nullopt);
    }
    platform::EcPrivateKey key;
    platform::Certificate certificate;
    std::string fingerprint;
};

}  // namespace zentrabo::bench
