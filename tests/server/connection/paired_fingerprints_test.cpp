#include "server/connection/paired_fingerprints.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zentrabo {
namespace {

const std::string first(64, 'a');
const std::string second(64, 'b');

AuthorizedClientDevice device(const std::string& fingerprint, double lastSeenAt = 0) {
    return {"Phone", fingerprint, platform::Date{0}, platform::Date{lastSeenAt},
            HalvardineExtraAuthorizationChannel::local};
}

TEST(PairedFingerprintsTest, FollowsEveryChangeOfThePairedDevicesButNotTheirLastSeenTimes) {
    PairedFingerprints paired;
    EXPECT_FALSE(paired.contains(first));
    EXPECT_FALSE(paired.contains(std::nullopt));

    paired.update({device(first)});
    EXPECT_TRUE(paired.contains(first));
    // Compared in normalised form, as the TLS layer may report it otherwise.
    EXPECT_TRUE(paired.contains(" " + std::string(64, 'A') + " "));

    // A request's last-seen update keeps the set as it is.
    paired.update({device(first, 10)});
    EXPECT_TRUE(paired.contains(first));

    paired.update({device(first, 20), device(second)});
    EXPECT_TRUE(paired.contains(second));
    // The same fingerprints in another order (a renamed device re-sorted).
    paired.update({device(second), device(first)});
    EXPECT_TRUE(paired.contains(first));
    EXPECT_TRUE(paired.contains(second));

    paired.update({device(second, 30)});
    EXPECT_FALSE(paired.contains(first)) << "a revoked device is no longer paired";
    EXPECT_TRUE(paired.contains(second));

    paired.update({});
    EXPECT_FALSE(paired.contains(second));
}

}  // namespace
}  // namespace zentrabo
