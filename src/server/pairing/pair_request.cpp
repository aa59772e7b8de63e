// The "pair" request: a device's code checked against the pairing window,
// every refusal audited with its reply, and the device paired on success.
#include <utility>

#include "security/halvardine_security.hpp"
#include "server/pairing/pairing_window.hpp"

namespace zentrabo {
namespace {

struct PairingRefusal {
    std::string auditMessage;
    std::string error;
    std::optional<HalvardineErrorCode> errorCode;
};

PairingRefusal refusalFor(const PairingCodeVerification& verification) {
    using Result = PairingCodeVerification::Result;
    switch (verification.result) {
    case Result::locked:
        return {"Rejected pairing request during cooldown.",
                "Pairing is temporarily locked. Try again in " + std::to_string(verification.retryAfterSeconds) +
                    " seconds.",
                HalvardineErrorCode::pairingUnavailable};
    case Result::incorrect: {
        const std::string remaining = std::to_string(verification.remainingAttempts);
        return {"Rejected pairing request with incorrect code. " + remaining + " attempts remaining.",
                "The pairing code is incorrect. " + remaining + " attempts remaining.",
                HalvardineErrorCode::pairingCodeInvalid};
    }
    case Result::notActive:
        return {"Rejected pairing request because pairing is not active.",
                "Pairing is not active. Start pairing on the Mac and try again.",
                HalvardineErrorCode::pairingUnavailable};
    case Result::expired:
        return {"Rejected pairing request because the pairing code expired.",
                "The pairing code has expired. Start pairing again on the Mac.",
                HalvardineErrorCode::pairingUnavailable};
    case Result::tooManyAttempts:
    case Result::accepted:
        break;
    }
    return {"Pairing session cancelled after too many incorrect attempts.",
            "Too many incorrect pairing attempts. Start pairing again on the Mac.",
            HalvardineErrorCode::pairingUnavailable};
}

}  // namespace

PairingCodeVerification PairingWindow::verifyPairingCode(const std::optional<std::string>& code,
                                                         const std::optional<std::string>& nonce) {
    using Result = PairingCodeVerification::Result;
    const auto verification = pairing_.verify(code, nonce, clock_.now());
    if (verification.result == Result::expired) cancelPairing("Pairing session expired");
    if (verification.result == Result::tooManyAttempts) {
        cancelPairing("Pairing session cancelled after too many incorrect attempts");
    }
    return verification;
}

HalvardineResponse PairingWindow::handlePairRequest(const HalvardineRequest& request,
                                                    const std::optional<std::string>& clientFingerprint,
                                                    HalvardineExtraAuthorizationChannel channel) {
    const auto verification = verifyPairingCode(request.pairingCode, request.pairingNonce);
    if (verification.result != PairingCodeVerification::Result::accepted) {
        auto refusal = refusalFor(verification);
        authorization_.recordSecurityEvent(std::move(refusal.auditMessage), request.action, clientFingerprint);
        auto response = replies_.identityResponse(request.id, false);
        response.error = std::move(refusal.error);
        response.errorCode = refusal.errorCode;
        return response;
    }
    const auto fingerprint =
        clientFingerprint ? HalvardineSecurity::normalizedFingerprint(*clientFingerprint) : std::nullopt;
    if (!fingerprint) {
        // The session stays open: the same code may still come with a certificate.
        authorization_.recordSecurityEvent("Rejected pairing request without a client certificate.",
                                           std::string("pair"), std::nullopt);
        auto response = replies_.identityResponse(request.id, false);
        response.error = "The client certificate is missing.";
        return response;
    }
    if (const auto notSaved = authorization_.completePairing(*fingerprint, request.clientName, channel)) {
        // Not confirmed: the device would be refused after the next start.
        // The window stays open for another try once the disk has room.
        auto response = replies_.identityResponse(request.id, false);
        response.error = "The pairing could not be saved: " + *notSaved + ".";
        response.errorCode = HalvardineErrorCode::pairingUnavailable;
        return response;
    }
    authorization_.recordSecurityEvent("Paired client " + displayFingerprint(*fingerprint) + ".", std::string("pair"),
                                       *fingerprint);
    cancelPairing("Pairing session completed");
    auto response = replies_.identityResponse(request.id, true);
    response.token = std::string();
    response.clientCertificateFingerprint = *fingerprint;
    return response;
}

}  // namespace zentrabo
