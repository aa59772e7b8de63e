#include "security/halvardine_security_error.hpp"

namespace zentrabo {
namespace {

std::string describe(HalvardineSecurityError::Case errorCase, const std::string& message) {
    using Case = HalvardineSecurityError::Case;
    switch (errorCase) {
    case Case::identityUnavailable:
        return "Secure identity unavailable: " + message;
    case Case::certificateUnavailable:
        return "The local TLS certificate is unavailable.";
    case Case::privateKeyUnavailable:
        return "The local TLS private key is unavailable.";
    case Case::publicKeyUnavailable:
        return "The local TLS public key is unavailable.";
    case Case::signatureFailed:
        return "The local TLS certificate could not be signed.";
    case Case::invalidCertificate:
        return "The local TLS certificate is invalid.";
    }
    return "The local TLS certificate is invalid.";
}

}  // namespace

HalvardineSecurityError::HalvardineSecurityError(Case errorCase, std::string message)
    : std::runtime_error(describe(errorCase, message)), case_(errorCase), message_(std::move(message)) {}

HalvardineSecurityError HalvardineSecurityError::identityUnavailable(const std::string& message) {
    return {Case::identityUnavailable, message};
}
HalvardineSecurityError HalvardineSecurityError::certificateUnavailable() { return {Case::certificateUnavailable, {}}; }
HalvardineSecurityError HalvardineSecurityError::privateKeyUnavailable() { return {Case::privateKeyUnavailable, {}}; }
HalvardineSecurityError HalvardineSecurityError::publicKeyUnavailable() { return {Case::publicKeyUnavailable, {}}; }
HalvardineSecurityError HalvardineSecurityError::signatureFailed() { return {Case::signatureFailed, {}}; }
HalvardineSecurityError HalvardineSecurityError::invalidCertificate() { return {Case::invalidCertificate, {}}; }

}  // namespace zentrabo
