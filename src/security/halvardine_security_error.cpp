#include "security/halvardine_security_error.hpp"

#include "platform/text/case_table.hpp"

namespace zentrabo {
namespace {

std::string describe(HalvardineSecurityError::Case errorCase, const std::string& message) {
    using Case = HalvardineSecurityError::Case;
    static constexpr auto descriptions = platform::caseTable<Case, std::string_view>({
        {Case::identityUnavailable, "Secure identity unavailable: "},
        {Case::certificateUnavailable, "The local TLS certificate is unavailable."},
        {Case::privateKeyUnavailable, "The local TLS private key is unavailable."},
        {Case::publicKeyUnavailable, "The local TLS public key is unavailable."},
        {Case::signatureFailed, "The local TLS certificate could not be signed."},
        {Case::invalidCertificate, "The local TLS certificate is invalid."},
    });
    // Only identityUnavailable carries a message, which follows its text;
    // every other case is built with an empty one.
    return std::string(descriptions.entryOr(errorCase, "The local TLS certificate is invalid.")) + message;
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
