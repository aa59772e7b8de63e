// The terminal's password, unlock, scopes and duration commands on a whole
// server; the key derivation runs on the server's own pool.
#include <gmock/gmock.h>

#include "terminal_fixture.hpp"

namespace zentrabo::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using Scope = HalvardineExtraAuthorizationScope;
using Duration = HalvardineExtraAuthorizationSessionDuration;

constexpr std::string_view locked = "Extra authorization settings are locked: \"unlock <current password>\" first.";

class TerminalExtraAuthorizationTest : public TerminalTest {
protected:
    const ExtraAuthorization& extra() const { return server->extraAuthorization(); }
};

TEST_F(TerminalExtraAuthorizationTest, ScopesAndDurationWaitForTheUnlockWhileAPasswordIsSet) {
    // With no password the protected settings are open.
    EXPECT_THAT(run("scopes relay files"), ElementsAre("Protected on relay connections: files"));
    EXPECT_THAT(runUntilPrinted("unlock anything"),
                ElementsAre("Secure identity unavailable: Configure an extra authorization password first."));

    EXPECT_THAT(runUntilPrinted("password set   two words  "), ElementsAre("Extra authorization password set."));
    EXPECT_TRUE(*extra().passwordConfigured());
    EXPECT_THAT(run("password set other"), ElementsAre("A password is already set; \"password change\" changes it."));

    EXPECT_THAT(run("scopes local stream,files"), ElementsAre(locked));
    EXPECT_THAT(run("duration short"), ElementsAre(locked));
    EXPECT_TRUE(extra().localScopes()->empty());
    EXPECT_EQ(*extra().sessionDuration(), Duration::background);

    EXPECT_THAT(runUntilPrinted("unlock two"), ElementsAre("Secure identity unavailable: The password is incorrect."));
    EXPECT_THAT(run("duration short"), ElementsAre(locked));

    // Surrounding blanks are no part of the password.
    EXPECT_THAT(runUntilPrinted("unlock  two words "), ElementsAre("Extra authorization settings unlocked."));
    EXPECT_THAT(run("scopes local files, stream"), ElementsAre("Protected on local connections: stream, files"));
    EXPECT_EQ(*extra().localScopes(), (ExtraAuthorizationScopes{Scope::stream, Scope::files}));
    EXPECT_THAT(run("scopes relay none"), ElementsAre("Protected on relay connections: none"));
    EXPECT_TRUE(extra().relayScopes()->empty());
    EXPECT_THAT(run("duration short"), ElementsAre("Session duration: short (5 minutes)"));
    EXPECT_EQ(*extra().sessionDuration(), Duration::short_);

    for (const auto* line : {"scopes", "scopes local", "scopes lan files", "scopes local files,", "scopes local camera",
                             "scopes local files stream", "duration", "duration forever", "duration short long"}) {
        EXPECT_THAT(run(line), ElementsAre(HasSubstr("Type \"help\" for the commands."))) << line;
    }
    EXPECT_EQ(*extra().localScopes(), (ExtraAuthorizationScopes{Scope::stream, Scope::files}));
    EXPECT_EQ(*extra().sessionDuration(), Duration::short_);
    for (const auto& line : everything) EXPECT_EQ(line.find("two words"), std::string::npos) << line;
}

TEST_F(TerminalExtraAuthorizationTest, ChangeReadsTheNextTwoLinesAndLocksTheSettingsAgain) {
    EXPECT_THAT(run("password change"), ElementsAre("No password is set; \"password set <new>\" sets one."));
    runUntilPrinted("password set first secret");
    runUntilPrinted("unlock first secret");

    EXPECT_THAT(run("password change"), ElementsAre("Changing the password: type the current password on the next "
                                                    "line, then the new one."));
    // The two lines are passwords, not commands.
    EXPECT_THAT(run("status"), IsEmpty());
    EXPECT_THAT(runUntilPrinted("quit"),
                ElementsAre("Secure identity unavailable: The current password is incorrect."));
    EXPECT_EQ(quitCalls, 0);

    run("password change");
    run(" first secret ");
    EXPECT_THAT(runUntilPrinted("second secret"), ElementsAre("Extra authorization password changed."));
    EXPECT_THAT(run("duration long"), ElementsAre(locked)) << "a new password needs its own unlock";
    EXPECT_THAT(runUntilPrinted("unlock first secret"),
                ElementsAre("Secure identity unavailable: The password is incorrect."));
    EXPECT_THAT(runUntilPrinted("unlock second secret"), ElementsAre("Extra authorization settings unlocked."));

    // Words after "change" are not echoed: they may be passwords.
    EXPECT_THAT(run("password change second secret"),
                ElementsAre("password change: reads the passwords from the next two lines. Type \"help\" for the "
                            "commands."));
    EXPECT_THAT(run("password forget second secret"),
                ElementsAre("password: expected set, change or remove. Type \"help\" for the commands."));
    for (const auto& line : everything) {
        EXPECT_EQ(line.find("secret"), std::string::npos) << line;
    }
    EXPECT_EQ(home.logText().find("secret"), std::string::npos);
}

TEST_F(TerminalExtraAuthorizationTest, RemoveNeedsTheRightPasswordAndOpensTheSettings) {
    runUntilPrinted("password set hunter2");
    EXPECT_THAT(runUntilPrinted("password remove"),
                ElementsAre("Secure identity unavailable: Enter the current password."));
    EXPECT_THAT(runUntilPrinted("password remove hunter3"),
                ElementsAre("Secure identity unavailable: The password is incorrect."));
    EXPECT_TRUE(*extra().passwordConfigured());
    EXPECT_THAT(runUntilPrinted("password remove hunter2"), ElementsAre("Extra authorization password removed."));
    EXPECT_FALSE(*extra().passwordConfigured());
    EXPECT_THAT(run("duration standard"), ElementsAre("Session duration: standard (15 minutes)"));
}

TEST_F(TerminalExtraAuthorizationTest, AnOperationFinishingAfterTheFrontIsGonePrintsNothing) {
    runUntilPrinted("password set hunter2");
    const auto eventsBefore = server->authorization().securityAuditEvents()->size();
    front->handleLine("unlock wrong");
    front.reset();
    while (server->authorization().securityAuditEvents()->size() == eventsBefore) {
        if (mainLoop.context().run_one_for(std::chrono::seconds(60)) == 0) break;
    }
    mainLoop.runReady();
    EXPECT_EQ(server->authorization().securityAuditEvents()->front().message,
              "Rejected extra authorization settings unlock with an incorrect password.");
    EXPECT_EQ(everything.back(), "Extra authorization password set.");
}

}  // namespace
}  // namespace zentrabo::testing
