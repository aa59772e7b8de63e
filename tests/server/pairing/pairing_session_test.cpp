#include "server/pairing/pairing_session.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <deque>
#include <set>

namespace zentrabo {
namespace {

using platform::Date;

using Result = PairingCodeVerification::Result;

// Hands out the given 32-bit values, big-endian, as random bytes.
RandomBytesSource scriptedRandom(std::deque<std::uint32_t> values) {
    return [values = std::move(values)](std::span<std::uint8_t> buffer) mutable {
        EXPECT_EQ(buffer.size(), 4u);
        const std::uint32_t value = values.front();
        values.pop_front();
        buffer[0] = static_cast<std::uint8_t>(value >> 24);
        buffer[1] = static_cast<std::uint8_t>(value >> 16);
        buffer[2] = static_cast<std::uint8_t>(value >> 8);
        buffer[3] = static_cast<std::uint8_t>(value);
        return true;
    };
}

TEST(PairingCode, SixDigitsWithLeadingZerosAndNoModuloBias) {
    EXPECT_EQ(makePairingCode(scriptedRandom({0})), "000000");
    EXPECT_EQ(makePairingCode(scriptedRandom({42})), "000042");
    EXPECT_EQ(makePairingCode(scriptedRandom({1'999'999})), "999999");
    // 4294000000 and above would make codes below 967296 likelier: redrawn.
    EXPECT_EQ(makePairingCode(scriptedRandom({4'294'967'295u, 4'294'000'000u, 7})), "000007");
    EXPECT_THROW(makePairingCode([](std::span<std::uint8_t>) { return false; }), std::runtime_error);
}

TEST(PairingCode, NonceIsThirtyTwoUpperCaseHexDigitsAndFresh) {
    const std::string nonce = makePairingNonce();
    EXPECT_EQ(nonce.size(), 32u);
    EXPECT_EQ(nonce.find_first_not_of("0123456789ABCDEF"), std::string::npos);
    EXPECT_NE(nonce, makePairingNonce());
}

TEST(PairingCode, NormalisationKeepsNumericCharactersElseTheTrimmedText) {
    EXPECT_EQ(normalizedPairingCode(std::string("  12-34 56 ")), "123456");
    EXPECT_EQ(normalizedPairingCode(std::string("١٢٣")), "١٢٣") << "other scripts' digits are kept";
    EXPECT_EQ(normalizedPairingCode(std::string("  abc ")), "abc");
    EXPECT_EQ(normalizedPairingCode(std::string(" \n")), std::nullopt);
    EXPECT_EQ(normalizedPairingCode(std::nullopt), std::nullopt);
}

PairingState openSession(platform::Date now) {
    PairingState state;
    state.activeSession = PairingSession{"012345", "ABCDEF0123456789ABCDEF0123456789", now + pairingSessionLifetime, 0};
    return state;
}

TEST(PairingVerification, CodeAndNonceRules) {
    PairingState state = openSession(platform::Date{0.0});
    EXPECT_EQ(state.verify(std::string(" 012-345 "), std::nullopt, platform::Date{1.0}).result, Result::accepted);
    EXPECT_EQ(state.verify(std::string("012345"), std::string("  "), platform::Date{1.0}).result, Result::accepted)
        << "a blank nonce is not compared";
    EXPECT_EQ(
        state.verify(std::string("012345"), std::string("ABCDEF0123456789ABCDEF0123456789\n"), platform::Date{1.0})
            .result,
        Result::accepted);
    EXPECT_EQ(state.activeSession->failedAttemptCount, 0);

    const auto lowerNonce =
        state.verify(std::string("012345"), std::string("abcdef0123456789abcdef0123456789"), platform::Date{1.0});
    EXPECT_EQ(lowerNonce.result, Result::incorrect);
    EXPECT_EQ(lowerNonce.remainingAttempts, 2);
    const auto missing = state.verify(std::nullopt, std::nullopt, platform::Date{1.0});
    EXPECT_EQ(missing.result, Result::incorrect);
    EXPECT_EQ(missing.remainingAttempts, 1);
    EXPECT_EQ(state.verify(std::string("abcdef"), std::nullopt, platform::Date{1.0}).result, Result::tooManyAttempts);
    EXPECT_EQ(state.cooldownUntil, platform::Date{61.0});
}

TEST(PairingVerification, CooldownExpiryAndNoSession) {
    PairingState state = openSession(platform::Date{0.0});
    EXPECT_EQ(state.verify(std::string("012345"), std::nullopt, platform::Date{120.0}).result, Result::expired)
        << "a code sent exactly at the expiry is too late";

    state = openSession(platform::Date{0.0});
    state.cooldownUntil = platform::Date{100.0};
    auto locked = state.verify(std::string("012345"), std::nullopt, platform::Date{40.0});
    EXPECT_EQ(locked.result, Result::locked);
    EXPECT_EQ(locked.retryAfterSeconds, 60);
    locked = state.verify(std::string("012345"), std::nullopt, platform::Date{99.6});
    EXPECT_EQ(locked.retryAfterSeconds, 1);
    EXPECT_EQ(state.verify(std::string("012345"), std::nullopt, platform::Date{100.0}).result, Result::accepted)
        << "a cooldown that ran out has no effect";

    state.activeSession.reset();
    EXPECT_EQ(state.verify(std::string("012345"), std::nullopt, platform::Date{101.0}).result, Result::notActive);
}

TEST(PairingVerification, RemainingAndLockSecondsRoundUpAndNeverShowZero) {
    const PairingSession session{"000000", "", platform::Date{120.0}, 0};
    EXPECT_EQ(pairingRemainingSeconds(session, platform::Date{0.0}), 120);
    EXPECT_EQ(pairingRemainingSeconds(session, platform::Date{119.9}), 1);
    EXPECT_EQ(pairingRemainingSeconds(session, platform::Date{120.0}), std::nullopt);
    EXPECT_EQ(pairingLockRemainingSeconds(platform::Date{100.0}, platform::Date{69.8}), 31);
    EXPECT_EQ(pairingLockRemainingSeconds(platform::Date{100.0}, platform::Date{100.0}), std::nullopt);
    EXPECT_EQ(pairingLockRemainingSeconds(std::nullopt, platform::Date{0.0}), std::nullopt);
}

}  // namespace
}  // namespace zentrabo
