// The extra authorization inside the server: its audit entries reach the
// server's security log, its duration reaches every reply, and its password
// survives a restart.
#include <gtest/gtest.h>

#include <chrono>
#include <exception>

#include "support/server_fixture.hpp"

namespace zentrabo::testing {
namespace {

class ServerExtraAuthorizationTest : public ServerTest {
protected:
    // Runs the main loop until the operation completes; the key derivation
    // runs on the server's own pool.
    std::exception_ptr await(const std::function<void(ExtraAuthorization::SettingsCompletion)>& start) {
        bool finished = false;
        std::exception_ptr outcome;
        start([&](std::exception_ptr error) {
            finished = true;
            outcome = error;
        });
        while (!finished) {
            if (mainLoop.context().run_one_for(std::chrono::seconds(60)) == 0) break;
        }
        EXPECT_TRUE(finished);
        return outcome;
    }
};

TEST_F(ServerExtraAuthorizationTest, PasswordAndDurationGoThroughTheServer) {
    auto server = makeServer();
    EXPECT_FALSE(await([&](auto done) { server->extraAuthorization().updatePassword(std::nullopt, "secret", done); }));
    ASSERT_FALSE(server->authorization().securityAuditEvents()->empty());
    EXPECT_EQ(server->authorization().securityAuditEvents()->front().message,
              "Extra authorization password was updated.");
    EXPECT_EQ(server->authorization().securityAuditEvents()->front().action, "authorizeExtra");

    server->extraAuthorization().setSessionDuration(HalvardineExtraAuthorizationSessionDuration::long_);
    EXPECT_EQ(server->replies().identityResponse("r", true).extraAuthorizationSessionDuration,
              HalvardineExtraAuthorizationSessionDuration::long_);
    EXPECT_EQ(server->authorization().securityAuditEvents()->front().message,
              "Extra authorization session duration changed to 60 minutes.");

    server.reset();
    server = makeServer();
    EXPECT_TRUE(*server->extraAuthorization().passwordConfigured());
    EXPECT_EQ(*server->extraAuthorization().sessionDuration(), HalvardineExtraAuthorizationSessionDuration::long_);
    EXPECT_FALSE(await([&](auto done) { server->extraAuthorization().unlockSettings("secret", done); }));
}

}  // namespace
}  // namespace zentrabo::testing
