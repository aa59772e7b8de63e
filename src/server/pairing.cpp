// The pairing window: its session and countdown, the pairing link and QR
// image, and the "pair" request that checks a device's code and stores it.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <system_error>
#include <utility>

#include "model/diagnostic_log.hpp"
#include "platform/host/host_address.hpp"
#include "platform/random/random_bytes.hpp"
#include "platform/store/store_files.hpp"
#include "security/halvardine_relay.hpp"
#include "security/halvardine_security.hpp"
#include "server/halvardine_server.hpp"
#include "server/pairing_link.hpp"

namespace zentrabo {
namespace {

constexpr double pairingCountdownInterval = 1.0;

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

std::filesystem::path HalvardineServer::pairingQRImagePath() { return platform::dataFolder() / "pairing-qr.png"; }

void HalvardineServer::removePairingQRImage() {
    const auto path = pairingQRImagePath();
    std::error_code error;
    if (!std::filesystem::remove(path, error) && error) {
        ZENTRABO_LOG("Pairing QR code could not be removed from " + path.string() + ": " + error.message());
    }
}

void HalvardineServer::startPairingSession() {
    // The image of an earlier window goes first: a new window makes its code
    // worthless, and a refused start shows no window at all.
    removePairingQRImage();
    if (!*listenerStatus_.isRunning()) {
        ZENTRABO_LOG("Pairing session not started because the server is not running");
        return;
    }
    const platform::Date now = environment_.clock.now();
    if (const auto locked = pairingLockRemainingSeconds(pairing_.cooldownUntil, now)) {
        const std::string message =
            "Pairing session not started because pairing is locked for " + std::to_string(*locked) + " seconds";
        ZENTRABO_LOG(message);
        authorization_.auditLog().recordSecurityEvent(message, std::string("pair"), std::nullopt);
        return;
    }
    pairing_.cooldownUntil.reset();

    std::string code;
    try {
        code = makePairingCode([](std::span<std::uint8_t> bytes) {
            try {
                platform::fillSecureRandom(bytes);
                return true;
            } catch (const platform::RandomGenerationError&) {
                return false;
            }
        });
    } catch (const std::exception& error) {
        ZENTRABO_LOG(std::string("Pairing session not started: ") + error.what());
        return;
    }
    // A second start replaces the open session: its code and nonce are worthless.
    pairing_.activeSession = PairingSession{code, makePairingNonce(), now + pairingSessionLifetime, 0};
    pairingCode_.set(code);
    pairingExpiresAt_.set(pairing_.activeSession->expiresAt);
    isPairingActive_.set(true);
    updatePairingCountdown();
    startPairingExpirationTask();
    ZENTRABO_LOG("Pairing session started");
    authorization_.auditLog().recordSecurityEvent("Pairing session started.", std::string("pair"), std::nullopt);
}

void HalvardineServer::cancelPairing(std::optional<std::string_view> reason) {
    pairingExpirationTask_.cancel();
    pairing_.activeSession.reset();
    pairingCode_.set(std::string());
    pairingExpiresAt_.set(std::nullopt);
    pairingRemainingSeconds_.set(0);
    isPairingActive_.set(false);
    removePairingQRImage();
    if (reason) ZENTRABO_LOG(*reason);
}

void HalvardineServer::updatePairingCountdown() {
    if (!pairing_.activeSession) {
        pairingRemainingSeconds_.set(0);
        return;
    }
    if (const auto remaining = zentrabo::pairingRemainingSeconds(*pairing_.activeSession, environment_.clock.now())) {
        pairingRemainingSeconds_.set(*remaining);
    } else {
        cancelPairing("Pairing session expired");
    }
}

void HalvardineServer::startPairingExpirationTask() {
    pairingExpirationTask_ =
        environment_.clock.schedule(environment_.mainLoop, pairingCountdownInterval, [weak = weak_from_this()] {
            const auto self = weak.lock();
            if (!self) return;
            self->updatePairingCountdown();
            // Expiry cancelled the session, and with it this countdown.
            if (self->pairing_.activeSession) self->startPairingExpirationTask();
        });
}

std::optional<std::string> HalvardineServer::pairingLink() const {
    if (!*isPairingActive_ || pairingCode_->empty()) return std::nullopt;
    PairingLinkFields fields;
    fields.service = *listenerStatus_.serviceName();
    fields.code = *pairingCode_;
    if (pairing_.activeSession) fields.nonce = pairing_.activeSession->nonce;
    const auto& port = *listenerStatus_.port();
    if (auto address = platform::primaryLocalIPv4Address(); address && port) {
        fields.host = std::move(*address);
        fields.port = port;
    }
    fields.fingerprint = *listenerStatus_.serverCertificateFingerprint();
    const RelaySettings& relay = *relay_;
    if (*relay.relayEnabled()) {
        auto host = HalvardineRelay::normalizedHost(*relay.relayHost());
        auto deviceID = HalvardineRelay::normalizedDeviceID(*relay.relayDeviceID());
        if (host && deviceID) {
            fields.relay = PairingLinkFields::Relay{std::move(*host), *relay.relayClientPort(), std::move(*deviceID)};
        }
    }
    return zentrabo::pairingLink(fields);
}

std::vector<std::uint8_t> HalvardineServer::pairingQRCode() const {
    auto png = pairingQRCodePng(pairingLink());
    // Kept where a front end can show it; owner-only, as it carries the code.
    const auto path = pairingQRImagePath();
    const std::string_view bytes(reinterpret_cast<const char*>(png.data()), png.size());
    if (const std::error_code error = platform::writeStoreFileAtomically(path, bytes)) {
        ZENTRABO_LOG("Pairing QR code could not be written to " + path.string() + ": " + error.message());
    }
    return png;
}

PairingCodeVerification HalvardineServer::verifyPairingCode(const std::optional<std::string>& code,
                                                            const std::optional<std::string>& nonce) {
    using Result = PairingCodeVerification::Result;
    const auto verification = pairing_.verify(code, nonce, environment_.clock.now());
    if (verification.result == Result::expired) cancelPairing("Pairing session expired");
    if (verification.result == Result::tooManyAttempts) {
        cancelPairing("Pairing session cancelled after too many incorrect attempts");
    }
    return verification;
}

HalvardineResponse HalvardineServer::handlePairRequest(const HalvardineRequest& request,
                                                       const std::optional<std::string>& clientFingerprint,
                                                       HalvardineExtraAuthorizationChannel channel) {
    const auto verification = verifyPairingCode(request.pairingCode, request.pairingNonce);
    if (verification.result != PairingCodeVerification::Result::accepted) {
        auto refusal = refusalFor(verification);
        authorization_.auditLog().recordSecurityEvent(std::move(refusal.auditMessage), request.action,
                                                      clientFingerprint);
        auto response = replies_.identityResponse(request.id, false);
        response.error = std::move(refusal.error);
        response.errorCode = refusal.errorCode;
        return response;
    }
    const auto fingerprint =
        clientFingerprint ? HalvardineSecurity::normalizedFingerprint(*clientFingerprint) : std::nullopt;
    if (!fingerprint) {
        // The session stays open: the same code may still come with a certificate.
        authorization_.auditLog().recordSecurityEvent("Rejected pairing request without a client certificate.",
                                                      std::string("pair"), std::nullopt);
        auto response = replies_.identityResponse(request.id, false);
        response.error = "The client certificate is missing.";
        return response;
    }
    authorization_.completePairing(*fingerprint, request.clientName, channel);
    authorization_.auditLog().recordSecurityEvent("Paired client " + displayFingerprint(*fingerprint) + ".",
                                                  std::string("pair"), *fingerprint);
    cancelPairing("Pairing session completed");
    auto response = replies_.identityResponse(request.id, true);
    response.token = std::string();
    response.clientCertificateFingerprint = *fingerprint;
    return response;
}

}  // namespace zentrabo
