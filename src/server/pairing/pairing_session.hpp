#pragma once
// The pairing window's session and the checks of a device's code against it.
// Pure state: the pairing window publishes, logs, audits and runs the countdown.
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/dispatch/clock.hpp"

namespace zentrabo {

struct PairingSession {
    // Exactly six decimal digits, leading zeros kept.
    std::string code;
    // 32 upper-case hexadecimal digits.
    std::string nonce;
    platform::Date expiresAt;
    int failedAttemptCount = 0;
};

inline constexpr double pairingSessionLifetime = 120.0;
inline constexpr double pairingCooldown = 60.0;
// The third wrong code ends the session.
inline constexpr int pairingAttemptsPerSession = 3;

// Fills a buffer with secure random bytes; false when the generator failed.
using RandomBytesSource = std::function<bool(std::span<std::uint8_t>)>;

// A uniformly drawn number in 0 ..< 1 000 000 (no modulo bias) formatted as
// six digits. Throws std::runtime_error when the generator fails: a code from
// a weaker source would be guessable.
std::string makePairingCode(const RandomBytesSource& random);
std::string formatPairingCode(std::uint32_t number);

// A random UUID's canonical text without its four "-".
std::string makePairingNonce();

// The code as typed reduced to its numeric characters; the trimmed text when
// it has none; none when absent or empty.
std::optional<std::string> normalizedPairingCode(const std::optional<std::string>& code);

struct PairingCodeVerification {
    enum class Result { accepted, locked, incorrect, notActive, expired, tooManyAttempts };
    Result result = Result::notActive;
    // For locked: at least 1.
    int retryAfterSeconds = 0;
    // For incorrect: 2 or 1.
    int remainingAttempts = 0;
};

// Whole seconds until the cooldown ends (at least 1), or none when it has
// run out or was never set.
std::optional<int> pairingLockRemainingSeconds(const std::optional<platform::Date>& cooldownUntil, platform::Date now);

// Whole seconds left in the session (at least 1), or none once it expired.
std::optional<int> pairingRemainingSeconds(const PairingSession& session, platform::Date now);

// The pairing state: the open session and the cooldown.
struct PairingState {
    std::optional<PairingSession> activeSession;
    std::optional<platform::Date> cooldownUntil;

    // Checks a code (and nonce, when one was sent) against the open session
    // and counts a wrong attempt; the third sets the cooldown. For expired and
    // tooManyAttempts the caller cancels the session.
    PairingCodeVerification verify(const std::optional<std::string>& code, const std::optional<std::string>& nonce,
                                   platform::Date now);
};

}  // namespace zentrabo
