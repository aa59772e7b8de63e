#include "server/authorization/security_audit_event.hpp"

#include <gtest/gtest.h>

namespace zentrabo {
namespace {

TEST(SecurityAuditEvent, FingerprintIsNormalisedAndLoggedInBrackets) {
    const auto event = makeSecurityAuditEvent("Blocked request after repeated authorization failures.", std::nullopt,
                                              std::string_view(" AA:BB \n"), platform::Date{5.0});
    EXPECT_EQ(event.fingerprint, "aabb");
    EXPECT_EQ(event.date, platform::Date{5.0});
    EXPECT_EQ(securityAuditLogLine(event), "Security: Blocked request after repeated authorization failures. [aabb]");

    const auto blank = makeSecurityAuditEvent("Pairing session started.", std::string("pair"), std::string_view(" : "),
                                              platform::Date{5.0});
    EXPECT_EQ(blank.fingerprint, std::nullopt);
    EXPECT_EQ(securityAuditLogLine(blank), "Security: Pairing session started.");
    EXPECT_NE(blank.id, event.id);
}

TEST(SecurityAuditEvent, NewestFirstAndAtMostEighty) {
    std::vector<HalvardineSecurityAuditEvent> events;
    for (int index = 1; index <= 81; ++index) {
        insertNewestFirst(events, makeSecurityAuditEvent("event " + std::to_string(index), std::nullopt, std::nullopt,
                                                         platform::Date{static_cast<double>(index)}));
    }
    ASSERT_EQ(events.size(), 80u);
    EXPECT_EQ(events.front().message, "event 81");
    EXPECT_EQ(events.back().message, "event 2");
}

TEST(SecurityAuditEvent, DisplayFingerprint) {
    const std::string fingerprint = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";
    EXPECT_EQ(displayFingerprint(fingerprint), "012345...abcdef");
    EXPECT_EQ(displayFingerprint("01:23:45:67:89:AB:CD:EF:01"), "012345...cdef01");
    EXPECT_EQ(displayFingerprint("AABBCCDDEEFF"), "aabbccddeeff");
    EXPECT_EQ(displayFingerprint("  "), "  ");
    // Never cuts a character in two.
    EXPECT_EQ(displayFingerprint("ééééééxééééééé"), "éééééé...éééééé");
}

}  // namespace
}  // namespace zentrabo
