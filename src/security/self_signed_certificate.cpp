#include <exception>

#include "platform/crypto/crypto_error.hpp"
#include "security/der_certificate.hpp"
#include "security/halvardine_security.hpp"
#include "security/halvardine_security_error.hpp"

namespace zentrabo {

platform::Certificate HalvardineSecurity::makeSelfSignedCertificate(const platform::EcPrivateKey& privateKey,
                                                                    std::string_view commonName,
                                                                    Clock::time_point now) {
    platform::Bytes publicKey;
    try {
        publicKey = privateKey.publicKeyX963();
    } catch (const platform::CryptoError&) {
        throw HalvardineSecurityError::publicKeyUnavailable();
    }
    const platform::Bytes tbs = DER::tbsCertificate(publicKey, commonName, now, DER::serialNumber());
    platform::Bytes signature;
    try {
        signature = privateKey.signSha256(tbs);
    } catch (const platform::CryptoError&) {
        throw HalvardineSecurityError::signatureFailed();
    }
    const platform::Bytes der =
        DER::constructed({tbs, DER::ecdsaWithSha256AlgorithmIdentifier(), DER::bitString(signature)});
    auto certificate = platform::Certificate::fromDer(der);
    if (!certificate) throw HalvardineSecurityError::invalidCertificate();
    return std::move(*certificate);
}

std::string HalvardineSecurity::fingerprint(const platform::Certificate& certificate) {
    return certificate.sha256Fingerprint();
}

}  // namespace zentrabo
