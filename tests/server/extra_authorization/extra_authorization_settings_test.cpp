#include <gtest/gtest.h>

#include <fstream>

#include "extra_authorization_fixture.hpp"

namespace zentrabo::testing {
namespace {

std::string described(std::string_view text) { return "Secure identity unavailable: " + std::string(text); }

const std::string blockNotice = " Further requests are temporarily blocked.";

TEST_F(ExtraAuthorizationTest, AFreshInstallationProtectsNothingAndLoadsWhatWasSaved) {
    EXPECT_FALSE(*extra->passwordConfigured());
    EXPECT_TRUE(extra->localScopes()->empty());
    EXPECT_EQ(*extra->sessionDuration(), HalvardineExtraAuthorizationSessionDuration::background);

    defaults->set("extraAuthorizationRelayScopes", std::vector<std::string>{"files", "files", "everything"});
    defaults->set("extraAuthorizationLocalScopes", std::string("files"));
    defaults->set("extraAuthorizationSessionDuration", std::string("forever"));
    restart();
    EXPECT_EQ(*extra->relayScopes(), ExtraAuthorizationScopes{files});
    EXPECT_TRUE(extra->localScopes()->empty()) << "a value of another type reads as no scopes";
    EXPECT_EQ(*extra->sessionDuration(), HalvardineExtraAuthorizationSessionDuration::background);
}

TEST_F(ExtraAuthorizationTest, ScopesAndDurationAreSavedAndEndTheSessions) {
    extra->setScope(workflows, true, relay);
    extra->setScope(files, true, relay);
    extra->setScope(stream, true, local);
    EXPECT_EQ(defaults->stringArray("extraAuthorizationRelayScopes"), (std::vector<std::string>{"files", "workflows"}));
    EXPECT_TRUE(extra->isScopeEnabled(stream, local));
    EXPECT_FALSE(extra->isScopeEnabled(stream, relay));

    ASSERT_EQ(update(std::nullopt, "secret"), std::nullopt);
    ASSERT_TRUE(authorizeExtra("secret", files, relay).extraAuthorizationToken);
    extra->setScope(files, true, relay);  // already there: still ends the sessions
    EXPECT_EQ(extra->sessionCount(), 0u);

    ASSERT_TRUE(authorizeExtra("secret", files, relay).extraAuthorizationToken);
    const auto auditsBefore = auditCount();
    extra->setSessionDuration(HalvardineExtraAuthorizationSessionDuration::background);
    EXPECT_EQ(extra->sessionCount(), 1u) << "the same duration changes nothing";
    EXPECT_EQ(auditCount(), auditsBefore);
    extra->setSessionDuration(HalvardineExtraAuthorizationSessionDuration::short_);
    EXPECT_EQ(extra->sessionCount(), 0u);
    EXPECT_EQ(defaults->string("extraAuthorizationSessionDuration"), "short");
    EXPECT_EQ(lastAudit().message, "Extra authorization session duration changed to 5 minutes.");
    EXPECT_EQ(lastAudit().action, "authorizeExtra");

    restart();
    EXPECT_EQ(*extra->relayScopes(), (ExtraAuthorizationScopes{files, workflows}));
    EXPECT_EQ(*extra->sessionDuration(), HalvardineExtraAuthorizationSessionDuration::short_);
    EXPECT_TRUE(*extra->passwordConfigured());
}

TEST_F(ExtraAuthorizationTest, SettingChangingAndRemovingThePassword) {
    EXPECT_EQ(update(std::nullopt, " \n "), described("Enter a password."));
    // The first password: no current password is looked at.
    EXPECT_EQ(update("ignored", "  first  "), std::nullopt);
    EXPECT_EQ(lastAudit().message, "Extra authorization password was updated.");
    EXPECT_TRUE(*extra->passwordConfigured());

    EXPECT_EQ(update(std::nullopt, "second"), described("Enter the current password."));
    EXPECT_EQ(update("wrong", "second"), described("The current password is incorrect."));
    EXPECT_EQ(lastAudit().message, "Rejected extra authorization password update with an incorrect current password.");
    EXPECT_EQ(lastAudit().action, std::nullopt);
    extra->setScope(files, true, local);
    ASSERT_TRUE(authorizeExtra("first").extraAuthorizationToken);
    // Stored trimmed: the spaces given the first time do not matter.
    EXPECT_EQ(update("first", "second"), std::nullopt);
    EXPECT_EQ(extra->sessionCount(), 0u) << "a new password ends every session";
    ASSERT_TRUE(authorizeExtra("second").extraAuthorizationToken);
    EXPECT_EQ(unlock("  second\n"), std::nullopt);
    EXPECT_EQ(lastAudit().message, "Extra authorization settings were unlocked.");

    EXPECT_EQ(remove(" "), described("Enter the current password."));
    EXPECT_EQ(remove("first"), described("The password is incorrect."));
    EXPECT_EQ(lastAudit().message, "Rejected extra authorization password removal with an incorrect password.");
    EXPECT_TRUE(*extra->passwordConfigured());
    EXPECT_EQ(remove("second"), std::nullopt);
    EXPECT_EQ(lastAudit().message, "Extra authorization password was removed.");
    EXPECT_FALSE(*extra->passwordConfigured());
    EXPECT_EQ(extra->sessionCount(), 0u);
    EXPECT_TRUE(extra->isScopeEnabled(files, local)) << "the scopes stay for the next password";
    EXPECT_FALSE(extra->isScopeProtected(files, local)) << "without a password nothing is protected";
    EXPECT_FALSE(ExtraAuthorizationPasswordItem::load(keychain));
    EXPECT_EQ(unlock("second"), described("Configure an extra authorization password first."));

    restart();
    EXPECT_FALSE(*extra->passwordConfigured());
    EXPECT_EQ(defaults->stringArray("extraAuthorizationLocalScopes"), std::vector<std::string>{"files"});
    ASSERT_EQ(update(std::nullopt, "third"), std::nullopt);
    EXPECT_TRUE(extra->isScopeProtected(files, local)) << "a new password protects the kept scopes at once";
}

TEST_F(ExtraAuthorizationTest, RepeatedWrongPasswordsLockEachOperationUntilTheyAgeOut) {
    ASSERT_EQ(update(std::nullopt, "secret"), std::nullopt);
    for (int attempt = 1; attempt <= 8; ++attempt) {
        EXPECT_EQ(update("wrong", "next"), described("The current password is incorrect."));
        EXPECT_EQ(remove("wrong"), described("The password is incorrect."));
        EXPECT_EQ(unlock("wrong"), described("The password is incorrect."));
        clock.advance(1);
    }
    EXPECT_EQ(lastAudit().message,
              "Rejected extra authorization settings unlock with an incorrect password." + blockNotice);

    // Locked even with the right password; nothing is checked or counted.
    EXPECT_EQ(update("secret", "next"), described("Password updates are temporarily locked. Try again later."));
    EXPECT_EQ(lastAudit().message, "Blocked extra authorization password update after repeated failures.");
    EXPECT_EQ(lastAudit().action, "authorizeExtra");
    EXPECT_EQ(remove("secret"), described("Password removal is temporarily locked. Try again later."));
    EXPECT_EQ(lastAudit().message, "Blocked extra authorization password removal after repeated failures.");
    EXPECT_EQ(unlock("secret"), described("Extra authorization settings are temporarily locked. Try again later."));
    EXPECT_EQ(lastAudit().message, "Blocked extra authorization settings unlock after repeated failures.");
    EXPECT_EQ(runDerivations(), 0u);

    // The first failures were 0 s to 7 s after the start; 61 s after it only
    // seven remain in the window.
    clock.advance(61 - 8);
    EXPECT_EQ(unlock("secret"), std::nullopt);
    EXPECT_EQ(update("secret", "next"), std::nullopt);
    // A right password forgave the earlier failures: counting starts again.
    EXPECT_EQ(update("wrong", "other"), described("The current password is incorrect."));
    EXPECT_EQ(failures.failureCount("extra-authorization:update-password", clock.now()), 1u);
    // Removal forgives nothing.
    EXPECT_EQ(failures.failureCount("extra-authorization:remove-password", clock.now()), 7u);
}

TEST_F(ExtraAuthorizationTest, AFailedSaveKeepsTheOldPassword) {
    ASSERT_EQ(update(std::nullopt, "secret"), std::nullopt);
    extra->setScope(files, true, local);
    ASSERT_TRUE(authorizeExtra("secret").extraAuthorizationToken);
    EXPECT_EQ(update("wrong", "next"), described("The current password is incorrect."));
    // A key store that can no longer be read is never rewritten.
    std::ofstream(home.path() / ".local/share/zentrabo/keystore.json", std::ios::trunc) << "not a key store";
    const auto outcome = update("secret", "next");
    ASSERT_TRUE(outcome.has_value());
    EXPECT_NE(outcome->find("Keychain update failed with status"), std::string::npos) << *outcome;
    EXPECT_EQ(extra->sessionCount(), 1u);
    EXPECT_TRUE(*extra->passwordConfigured());
    EXPECT_EQ(failures.failureCount("extra-authorization:update-password", clock.now()), 0u)
        << "the right current password forgave the earlier failure before the save failed";
    EXPECT_EQ(unlock("secret"), std::nullopt);
}

}  // namespace
}  // namespace zentrabo::testing
