#include "server/pairing/pairing_session.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <limits>
#include <stdexcept>

#include "platform/binary/big_endian.hpp"
#include "platform/random/uuid.hpp"
#include "platform/text/numeric_characters.hpp"
#include "platform/text/trim.hpp"

namespace zentrabo {
namespace {

constexpr std::uint32_t pairingCodeRange = 1'000'000;

// Ceiling of a positive interval in whole seconds, at least 1.
int wholeSecondsAtLeastOne(double seconds) { return std::max(1, static_cast<int>(std::ceil(seconds))); }

}  // namespace

std::string formatPairingCode(std::uint32_t number) {
    std::array<char, 16> text{};
    std::snprintf(text.data(), text.size(), "%06u", static_cast<unsigned>(number % pairingCodeRange));
    return text.data();
}

std::string makePairingCode(const RandomBytesSource& random) {
    // Values at or above the largest multiple of the range would favour the
    // low codes; they are drawn again.
    constexpr std::uint64_t draws = std::uint64_t{1} << 32;
    constexpr std::uint64_t acceptedBelow = draws - draws % pairingCodeRange;
    for (;;) {
        std::array<std::uint8_t, 4> bytes{};
        if (!random(bytes)) throw std::runtime_error("The secure random generator failed.");
        const std::uint32_t value = platform::readUInt32(bytes, 0);
        if (value < acceptedBelow) return formatPairingCode(value % pairingCodeRange);
    }
}

std::string makePairingNonce() {
    std::string nonce = platform::Uuid::random().uuidString;
    std::erase(nonce, '-');
    return nonce;
}

std::optional<std::string> normalizedPairingCode(const std::optional<std::string>& code) {
    if (!code) return std::nullopt;
    std::string normalized = platform::numericCharacters(*code);
    if (normalized.empty()) normalized = platform::trimWhitespaceAndNewlines(*code);
    if (normalized.empty()) return std::nullopt;
    return normalized;
}

std::optional<int> pairingLockRemainingSeconds(const std::optional<platform::Date>& cooldownUntil, platform::Date now) {
    if (!cooldownUntil || !(*cooldownUntil > now)) return std::nullopt;
    return wholeSecondsAtLeastOne(*cooldownUntil - now);
}

std::optional<int> pairingRemainingSeconds(const PairingSession& session, platform::Date now) {
    const double remaining = session.expiresAt - now;
    if (!(remaining > 0)) return std::nullopt;
    return wholeSecondsAtLeastOne(remaining);
}

PairingCodeVerification PairingState::verify(const std::optional<std::string>& code,
                                             const std::optional<std::string>& nonce, platform::Date now) {
    using Result = PairingCodeVerification::Result;
    // A cooldown that has run out stays stored; the next session start clears it.
    if (const auto locked = pairingLockRemainingSeconds(cooldownUntil, now)) {
        return {Result::locked, *locked, 0};
    }
    if (!activeSession) return {Result::notActive, 0, 0};
    PairingSession& session = *activeSession;
    if (!(now < session.expiresAt)) return {Result::expired, 0, 0};

    const auto sentCode = normalizedPairingCode(code);
    bool matches = sentCode && *sentCode == session.code;
    // A device that typed the code by hand has no nonce to send.
    if (nonce) {
        const std::string sentNonce = platform::trimWhitespaceAndNewlines(*nonce);
        if (!sentNonce.empty() && sentNonce != session.nonce) matches = false;
    }
    if (matches) return {Result::accepted, 0, 0};

    const int attempts = session.failedAttemptCount + 1;
    if (attempts >= pairingAttemptsPerSession) {
        cooldownUntil = now + pairingCooldown;
        return {Result::tooManyAttempts, 0, 0};
    }
    session.failedAttemptCount = attempts;
    return {Result::incorrect, 0, pairingAttemptsPerSession - attempts};
}

}  // namespace zentrabo
