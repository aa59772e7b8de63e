#include "server/authorization/authorized_client_device.hpp"

#include <gtest/gtest.h>

namespace zentrabo {
namespace {

using Channel = HalvardineExtraAuthorizationChannel;

AuthorizedClientDevice device(std::string name, std::string fingerprint, double pairedAt = 1.0) {
    return {std::move(name), std::move(fingerprint), platform::Date{pairedAt}, std::nullopt, std::nullopt};
}

std::vector<std::string> names(const std::vector<AuthorizedClientDevice>& devices) {
    std::vector<std::string> result;
    for (const auto& each : devices) result.push_back(each.displayName);
    return result;
}

TEST(AuthorizedClientDevice, StoredFormRoundTripsAndLeavesOutAbsentFields) {
    std::vector<AuthorizedClientDevice> devices{device("iPhone", "aabb", 10.5)};
    devices.push_back({"iPad", "ccdd", platform::Date{11.0}, platform::Date{12.25}, Channel::relay});
    const std::string json = encodeAuthorizedClientDevices(devices);
    EXPECT_EQ(json, R"([{"displayName":"iPhone","certificateFingerprint":"aabb","pairedAt":10.5},)"
                    R"({"displayName":"iPad","certificateFingerprint":"ccdd","pairedAt":11,"lastSeenAt":12.25,)"
                    R"("lastConnectionChannel":"relay"}])");
    EXPECT_EQ(decodeAuthorizedClientDevices(json), devices);
}

TEST(AuthorizedClientDevice, OneUnreadableElementMakesTheWholeListUnreadable) {
    EXPECT_EQ(decodeAuthorizedClientDevices(
                  R"([{"displayName":"a","certificateFingerprint":"aa","pairedAt":1,"extra":true}])")
                  ->size(),
              1u);
    EXPECT_EQ(decodeAuthorizedClientDevices(R"([{"displayName":"a","certificateFingerprint":"aa","pairedAt":1},)"
                                            R"({"displayName":"b","certificateFingerprint":"bb"}])"),
              std::nullopt);
    EXPECT_EQ(decodeAuthorizedClientDevices(
                  R"([{"displayName":"a","certificateFingerprint":"aa","pairedAt":1,"lastConnectionChannel":"usb"}])"),
              std::nullopt);
    EXPECT_EQ(decodeAuthorizedClientDevices(R"({"displayName":"a"})"), std::nullopt);
    EXPECT_EQ(decodeAuthorizedClientDevices("[{"), std::nullopt);
}

TEST(AuthorizedClientDevice, SanitisingNormalisesDropsRepeatsAndSorts) {
    const auto sanitized = sanitizedAuthorizedClientDevices({
        device("Mac 10", " AA:BB "),
        device("  ", "ccdd"),
        device("Mac 9", "aabb"),  // a repeat of the first, which wins
        device("Beta", "eeff"),
        device("alpha", " : "),  // no fingerprint at all
        device("alpha", "1122"),
        device("Mac 9", "3344"),
    });
    EXPECT_EQ(names(sanitized), (std::vector<std::string>{"alpha", "Beta", "Mac 9", "Mac 10", "Unknown Device"}));
    EXPECT_EQ(sanitized[3].certificateFingerprint, "aabb");
}

TEST(AuthorizedClientDevice, LegacyFingerprintsKeepFirstSeenOrder) {
    EXPECT_EQ(normalizedLegacyFingerprints({"CC:DD", "  ", "aabb", "ccdd", "AA BB"}),
              (std::vector<std::string>{"ccdd", "aabb"}));
}

}  // namespace
}  // namespace zentrabo
