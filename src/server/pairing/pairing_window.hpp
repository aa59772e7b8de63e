#pragma once
// The pairing window: a session of 120 s with its six-digit code, nonce,
// countdown, link and QR image, and the "pair" request that checks a
// device's code against it and pairs the device.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include <asio/any_io_executor.hpp>

#include "platform/dispatch/date.hpp"
#include "model/records/halvardine_request.hpp"
#include "model/records/halvardine_response.hpp"
#include "model/shared_enumerations.hpp"
#include "platform/dispatch/clock.hpp"
#include "platform/imaging/qr_code.hpp"
#include "server/authorization/client_authorizer.hpp"
#include "server/connection/listener_status.hpp"
#include "server/pairing/pairing_session.hpp"
#include "server/published.hpp"
#include "server/relay_settings/relay_settings.hpp"
#include "server/reply_builder.hpp"

namespace zentrabo {

// A pairing window that opened.
struct PairingStarted {
    std::string code;
    std::string link;
    platform::Date expiresAt;
    // The link's QR code, made once for the window; none when the link does
    // not fit in one.
    std::optional<platform::QrCode> qrCode;
    // Where its image was written, owner-only; none when it could not be
    // (the diagnostic log says why).
    std::optional<std::filesystem::path> qrImagePath;
};

// Why no pairing window opened.
struct PairingRefused {
    enum class Reason {
        // The listener is down: no device could reach the window.
        serverNotRunning,
        // Wrong codes locked pairing for a while.
        locked,
        // No secure random code could be made.
        codeUnavailable,
    };
    Reason reason;
    // The line the diagnostic log got ("Pairing session not started ...").
    std::string message;
};

using PairingStart = std::variant<PairingStarted, PairingRefused>;

class PairingWindow {
public:
    // Removes a QR image that a crash left behind. Every collaborator must
    // outlive the window; the countdown runs on mainLoop.
    PairingWindow(platform::Clock& clock, asio::any_io_executor mainLoop, const ListenerStatus& listener,
                  const RelaySettings& relay, ClientAuthorizer& authorization, const ReplyBuilder& replies);
    // Removes the QR image of an open window.
    ~PairingWindow();
    PairingWindow(const PairingWindow&) = delete;
    PairingWindow& operator=(const PairingWindow&) = delete;

    const Published<std::string>& pairingCode() const { return pairingCode_; }
    const Published<bool>& isPairingActive() const { return isPairingActive_; }
    const Published<std::optional<platform::Date>>& pairingExpiresAt() const { return pairingExpiresAt_; }
    const Published<int>& pairingRemainingSeconds() const { return pairingRemainingSeconds_; }

    // Opens a pairing window of 120 s, replacing an open one; refused while
    // the listener is down or pairing is locked after wrong codes.
    PairingStart startPairingSession();
    // Closes the pairing window, if any; a reason goes to the diagnostic log.
    void cancelPairing(std::optional<std::string_view> reason);
    // Publishes the seconds left, or expires the session.
    void updatePairingCountdown();
    // The "zentrabo://pair?" link of the open session as the listener and
    // the relay settings are now; none without a session.
    std::optional<std::string> pairingLink() const;
    // The QR image of the open window as PNG, made when it opened; a blank
    // one of 260 x 260 without a window.
    std::vector<std::uint8_t> pairingQRCode() const;

    // The "pair" request (pair_request.cpp), with the connection's client
    // certificate fingerprint as the TLS layer reported it and its channel.
    HalvardineResponse handlePairRequest(const HalvardineRequest& request,
                                         const std::optional<std::string>& clientFingerprint,
                                         HalvardineExtraAuthorizationChannel channel);
    // Checks a code (and nonce) against the open session; an expired session
    // and the third wrong code close the window.
    PairingCodeVerification verifyPairingCode(const std::optional<std::string>& code,
                                              const std::optional<std::string>& nonce);

private:
    void startPairingExpirationTask();
    // Writes the open window's QR image; its path, or none when that failed.
    std::optional<std::filesystem::path> writeQRImage() const;

    platform::Clock& clock_;
    asio::any_io_executor mainLoop_;
    const ListenerStatus& listener_;
    const RelaySettings& relay_;
    ClientAuthorizer& authorization_;
    const ReplyBuilder& replies_;

    Published<std::string> pairingCode_;
    Published<bool> isPairingActive_{false};
    Published<std::optional<platform::Date>> pairingExpiresAt_;
    Published<int> pairingRemainingSeconds_{0};

    PairingState pairing_;
    // The open window's QR image, as PNG.
    std::vector<std::uint8_t> qrImage_;
    // Ours: destroying the window cancels the countdown.
    platform::Timer pairingExpirationTask_;
};

}  // namespace zentrabo
