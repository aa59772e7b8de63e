#include "server/authorization/security_failure_limiter.hpp"

#include <gtest/gtest.h>

#include <string>

namespace zentrabo {
namespace {

using platform::Date;

TEST(SecurityFailureLimiter, BlocksFromTheEighthFailureInTheWindowUntilFailuresAgeOut) {
    SecurityFailureLimiter limiter;
    EXPECT_FALSE(limiter.isBlocked("aabb", platform::Date{100.0}));
    EXPECT_EQ(limiter.keyCount(), 0u) << "a check must not create an entry";
    for (std::size_t failure = 1; failure <= 7; ++failure) {
        EXPECT_EQ(limiter.recordFailure("aabb", platform::Date{100.0 + static_cast<double>(failure)}), failure);
        EXPECT_FALSE(limiter.isBlocked("aabb", platform::Date{100.0 + static_cast<double>(failure)}));
    }
    EXPECT_EQ(limiter.recordFailure("aabb", platform::Date{108.0}), 8u);
    EXPECT_TRUE(limiter.isBlocked("aabb", platform::Date{108.0}));
    // Failures at 101..108: the one at 101 counts at 161.0 exactly, not after.
    EXPECT_TRUE(limiter.isBlocked("aabb", platform::Date{161.0}));
    EXPECT_FALSE(limiter.isBlocked("aabb", platform::Date{161.001}));
    EXPECT_EQ(limiter.recordFailure("aabb", platform::Date{161.5}), 8u) << "the aged-out failure no longer counts";
}

TEST(SecurityFailureLimiter, KeysAreSeparateAndForgettingOneLeavesTheOthers) {
    SecurityFailureLimiter limiter;
    for (int failure = 0; failure < 8; ++failure) {
        limiter.recordFailure("missing-client-certificate", platform::Date{10.0});
        limiter.recordFailure("aabb", platform::Date{10.0});
    }
    limiter.forget("aabb");
    EXPECT_FALSE(limiter.isBlocked("aabb", platform::Date{11.0}));
    EXPECT_TRUE(limiter.isBlocked("missing-client-certificate", platform::Date{11.0}));
    EXPECT_FALSE(limiter.isBlocked("AABB", platform::Date{11.0})) << "keys are exact strings";
}

TEST(SecurityFailureLimiter, KeysWhoseFailuresAllLeftTheWindowAreDropped) {
    SecurityFailureLimiter limiter;
    // A peer presenting a fresh certificate on every connection, for an hour.
    platform::Date now;
    for (int connection = 0; connection < 36000; ++connection) {
        now = now + 0.1;
        limiter.recordFailure("certificate-" + std::to_string(connection), now);
    }
    // 600 keys fall inside the window at any time; the rest must be gone
    // (sweeps are amortised, so allow for the growth before the next one).
    EXPECT_LE(limiter.keyCount(), 2 * 601u + 64u);

    limiter.recordFailure("single", now);
    EXPECT_FALSE(limiter.isBlocked("single", now + 61.0));
    const std::size_t before = limiter.keyCount();
    EXPECT_FALSE(limiter.isBlocked("single", now + 62.0));
    EXPECT_EQ(limiter.keyCount(), before) << "an emptied key was removed at its own check";
}

}  // namespace
}  // namespace zentrabo
