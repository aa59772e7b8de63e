// The pairing window: its session and countdown, the pairing link and the
// QR image that shows it.
#include "server/pairing/pairing_window.hpp"

#include <exception>
#include <span>
#include <system_error>
#include <utility>

#include "model/diagnostic_log.hpp"
#include "platform/files/xdg_folders.hpp"
#include "platform/host/host_address.hpp"
#include "platform/random/random_bytes.hpp"
#include "platform/store/store_files.hpp"
#include "security/halvardine_relay.hpp"
#include "server/pairing/pairing_link.hpp"

namespace zentrabo {
namespace {

constexpr double pairingCountdownInterval = 1.0;

// pairing-qr.png in the data folder, where a front end finds the image. It
// carries the code and nonce, so it lives only while its window is open:
// closing the window for any reason removes it, and so do the window's
// creation and destruction (after a crash, at least the next start).
std::filesystem::path qrImagePath() { return platform::dataFolder() / "pairing-qr.png"; }

void removeQRImage() {
    const auto path = qrImagePath();
    std::error_code error;
    if (!std::filesystem::remove(path, error) && error) {
        ZENTRABO_LOG("Pairing QR code could not be removed from " + path.string() + ": " + error.message());
    }
}

PairingRefused refuse(PairingRefused::Reason reason, std::string message) {
    ZENTRABO_LOG(message);
    return {reason, std::move(message)};
}

}  // namespace

PairingWindow::PairingWindow(platform::Clock& clock, asio::any_io_executor mainLoop, const ListenerStatus& listener,
                             const RelaySettings& relay, ClientAuthorizer& authorization, const ReplyBuilder& replies)
    : clock_(clock),
      mainLoop_(std::move(mainLoop)),
      listener_(listener),
      relay_(relay),
      authorization_(authorization),
      replies_(replies) {
    removeQRImage();
}

PairingWindow::~PairingWindow() { removeQRImage(); }

PairingStart PairingWindow::startPairingSession() {
    // The image of an earlier window goes first: a new window makes its code
    // worthless, and a refused start shows no window at all.
    removeQRImage();
    if (!*listener_.isRunning()) {
        return refuse(PairingRefused::Reason::serverNotRunning,
                      "Pairing session not started because the server is not running");
    }
    const platform::Date now = clock_.now();
    if (const auto locked = pairingLockRemainingSeconds(pairing_.cooldownUntil, now)) {
        auto refusal =
            refuse(PairingRefused::Reason::locked,
                   "Pairing session not started because pairing is locked for " + std::to_string(*locked) + " seconds");
        authorization_.recordSecurityEvent(refusal.message, std::string("pair"), std::nullopt);
        return refusal;
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
        return refuse(PairingRefused::Reason::codeUnavailable,
                      std::string("Pairing session not started: ") + error.what());
    }
    // A second start replaces the open session: its code and nonce are worthless.
    pairing_.activeSession = PairingSession{code, makePairingNonce(), now + pairingSessionLifetime, 0};
    pairingCode_.set(code);
    pairingExpiresAt_.set(pairing_.activeSession->expiresAt);
    isPairingActive_.set(true);
    updatePairingCountdown();
    startPairingExpirationTask();
    // The code is made once per window, of the link as it is now.
    PairingStarted started{code, pairingLink().value_or(std::string()), pairing_.activeSession->expiresAt, {}, {}};
    started.qrCode = encodePairingQRCode(started.link);
    qrImage_ = pairingQRCodePng(started.qrCode);
    started.qrImagePath = writeQRImage();
    ZENTRABO_LOG("Pairing session started");
    authorization_.recordSecurityEvent("Pairing session started.", std::string("pair"), std::nullopt);
    return started;
}

void PairingWindow::cancelPairing(std::optional<std::string_view> reason) {
    pairingExpirationTask_.cancel();
    pairing_.activeSession.reset();
    qrImage_.clear();
    pairingCode_.set(std::string());
    pairingExpiresAt_.set(std::nullopt);
    pairingRemainingSeconds_.set(0);
    isPairingActive_.set(false);
    removeQRImage();
    if (reason) ZENTRABO_LOG(*reason);
}

void PairingWindow::updatePairingCountdown() {
    if (!pairing_.activeSession) {
        pairingRemainingSeconds_.set(0);
        return;
    }
    if (const auto remaining = zentrabo::pairingRemainingSeconds(*pairing_.activeSession, clock_.now())) {
        pairingRemainingSeconds_.set(*remaining);
    } else {
        cancelPairing("Pairing session expired");
    }
}

void PairingWindow::startPairingExpirationTask() {
    pairingExpirationTask_ = clock_.schedule(mainLoop_, pairingCountdownInterval, [this] {
        updatePairingCountdown();
        // Expiry cancelled the session, and with it this countdown.
        if (pairing_.activeSession) startPairingExpirationTask();
    });
}

std::optional<std::string> PairingWindow::pairingLink() const {
    if (!*isPairingActive_ || pairingCode_->empty()) return std::nullopt;
    PairingLinkFields fields;
    fields.service = *listener_.serviceName();
    fields.code = *pairingCode_;
    if (pairing_.activeSession) fields.nonce = pairing_.activeSession->nonce;
    const auto& port = *listener_.port();
    if (auto address = platform::primaryLocalIPv4Address(); address && port) {
        fields.host = std::move(*address);
        fields.port = port;
    }
    fields.fingerprint = *listener_.serverCertificateFingerprint();
    if (*relay_.relayEnabled()) {
        auto host = HalvardineRelay::normalizedHost(*relay_.relayHost());
        auto deviceID = HalvardineRelay::normalizedDeviceID(*relay_.relayDeviceID());
        if (host && deviceID) {
            fields.relay = PairingLinkFields::Relay{std::move(*host), *relay_.relayClientPort(), std::move(*deviceID)};
        }
    }
    return zentrabo::pairingLink(fields);
}

std::vector<std::uint8_t> PairingWindow::pairingQRCode() const {
    if (qrImage_.empty()) return pairingQRCodePng(std::nullopt);
    return qrImage_;
}

std::optional<std::filesystem::path> PairingWindow::writeQRImage() const {
    // Kept where a front end can show it; owner-only, as it carries the code.
    auto path = qrImagePath();
    const std::string_view bytes(reinterpret_cast<const char*>(qrImage_.data()), qrImage_.size());
    if (const std::error_code error = platform::writeStoreFileAtomically(path, bytes)) {
        ZENTRABO_LOG("Pairing QR code could not be written to " + path.string() + ": " + error.message());
        return std::nullopt;
    }
    return path;
}

}  // namespace zentrabo
