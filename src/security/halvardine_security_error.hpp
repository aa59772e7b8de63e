#pragma once

#include <stdexcept>
#include <string>

namespace zentrabo {

// The failures of the security identity, keychain and relay proof code. The
// description (what()) is the fixed text shown to users and logged.
class HalvardineSecurityError : public std::runtime_error {
public:
    enum class Case {
        identityUnavailable,
        certificateUnavailable,
        privateKeyUnavailable,
        publicKeyUnavailable,
        signatureFailed,
        invalidCertificate,
    };

    static HalvardineSecurityError identityUnavailable(const std::string& message);
    static HalvardineSecurityError certificateUnavailable();
    static HalvardineSecurityError privateKeyUnavailable();
    static HalvardineSecurityError publicKeyUnavailable();
    static HalvardineSecurityError signatureFailed();
    static HalvardineSecurityError invalidCertificate();

    Case errorCase() const noexcept { return case_; }
    // The message carried by identityUnavailable; empty for the other cases.
    const std::string& message() const noexcept { return message_; }

private:
    HalvardineSecurityError(Case errorCase, std::string message);
    Case case_;
    std::string message_;
};

}  // namespace zentrabo
