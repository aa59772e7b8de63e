#include <gtest/gtest.h>

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/thread_pool.hpp>

#include <chrono>

#include "extra_authorization_fixture.hpp"
#include "server/extra_authorization/sha256_text.hpp"

namespace zentrabo::testing {
namespace {

const std::string required = "Extra authorization required.";
const std::string incorrect = "Extra authorization password is incorrect.";
const std::string locked = "Extra authorization is temporarily locked. Try again later.";
const std::string newerClient = "Update Zentrabo on this device. This action requires a newer client version.";

class ExtraAuthorizationGateTest : public ExtraAuthorizationTest {
protected:
    void SetUp() override {
        ASSERT_EQ(update(std::nullopt, "secret"), std::nullopt);
        extra->setScope(files, true, local);
        extra->setScope(workflows, true, local);
        extra->setScope(files, true, relay);
        extra->setScope(stream, true, relay);
    }
};

TEST_F(ExtraAuthorizationTest, WithoutAPasswordNothingIsProtected) {
    extra->setScope(files, true, local);
    EXPECT_EQ(gate(files, std::nullopt), std::nullopt);
    const auto reply = authorizeExtra("anything");
    EXPECT_TRUE(reply.ok);
    EXPECT_FALSE(reply.extraAuthorizationToken);
    EXPECT_FALSE(reply.extraAuthorizationScope);
    EXPECT_TRUE(auditCount() == 0u);
}

TEST_F(ExtraAuthorizationGateTest, AGrantedTokenOpensTheProtectedScopesOfItsDeviceOnItsChannel) {
    const auto refusal = extra->requireExtraAuthorization(files, request("fileResource", std::nullopt), local, device);
    ASSERT_TRUE(refusal);
    EXPECT_EQ(refusal->error, required);
    EXPECT_EQ(refusal->errorCode, HalvardineErrorCode::extraAuthorizationRequired);
    EXPECT_EQ(refusal->extraAuthorizationScope, files);
    EXPECT_EQ(gate(stream, std::nullopt), std::nullopt) << "stream is protected on relay only";

    const auto wrong = authorizeExtra("wrong");
    EXPECT_EQ(wrong.error, incorrect);
    EXPECT_EQ(wrong.errorCode, HalvardineErrorCode::extraAuthorizationRequired);
    EXPECT_EQ(wrong.extraAuthorizationScope, files);
    EXPECT_EQ(lastAudit().message, "Rejected extra authorization password for files on local.");
    EXPECT_EQ(lastAudit().action, std::nullopt);
    EXPECT_EQ(lastAudit().fingerprint, device);

    const auto granted = authorizeExtra(" secret ");
    ASSERT_TRUE(granted.ok);
    const std::string token = granted.extraAuthorizationToken.value_or("");
    EXPECT_EQ(token.size(), 43u);
    EXPECT_EQ(token.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_"),
              std::string::npos);
    EXPECT_EQ(granted.extraAuthorizationScope, files);
    EXPECT_EQ(granted.extraAuthorizationExpiresAt, clock.now() + 3600);
    EXPECT_EQ(granted.extraAuthorizationSessionDuration, HalvardineExtraAuthorizationSessionDuration::background);
    EXPECT_EQ(lastAudit().message, "Granted extra authorization session on local.");
    EXPECT_EQ(lastAudit().action, "authorizeExtra");

    EXPECT_EQ(gate(files, token), std::nullopt);
    EXPECT_EQ(gate(files, token + "\r\n"), std::nullopt) << "the token is trimmed";
    EXPECT_EQ(gate(workflows, token), std::nullopt) << "a session opens every scope of its channel";
    EXPECT_EQ(gate(files, token), std::nullopt) << "a token is not used up";
    EXPECT_EQ(gate(files, token, relay), required);
    EXPECT_EQ(gate(files, token, local, otherDevice), required);
    EXPECT_EQ(gate(files, "x" + token), required);

    // A relay session is a separate grant and leaves the local one alone.
    const auto relayToken = authorizeExtra("secret", stream, relay).extraAuthorizationToken.value_or("");
    EXPECT_EQ(lastAudit().message, "Granted extra authorization session on relay.");
    EXPECT_EQ(gate(files, relayToken, relay), std::nullopt);
    EXPECT_EQ(gate(files, relayToken, local), required);
    EXPECT_EQ(gate(files, token, local), std::nullopt);

    extra->setScope(stream, false, local);  // any scope change ends every session
    EXPECT_EQ(gate(files, token), required);
    EXPECT_EQ(gate(files, relayToken, relay), required);
}

TEST_F(ExtraAuthorizationGateTest, ClientsBelowTheExtraAuthorizationVersionAreToldToUpdate) {
    // "authorizeExtra" itself checks no version.
    const std::string token = authorizeExtra("secret").extraAuthorizationToken.value_or("");
    ASSERT_FALSE(token.empty());
    const auto refusal = extra->requireExtraAuthorization(
        files, request("fileResource", std::nullopt, std::nullopt, token, 15), local, device);
    ASSERT_TRUE(refusal);
    EXPECT_EQ(refusal->error, newerClient);
    EXPECT_EQ(refusal->errorCode, std::nullopt);
    EXPECT_EQ(refusal->minimumSupportedClientProtocolVersion, 16);
    EXPECT_EQ(refusal->extraAuthorizationScope, std::nullopt);
    auto noVersion = request("fileResource", std::nullopt, std::nullopt, token);
    noVersion.clientProtocolVersion.reset();
    EXPECT_EQ(extra->requireExtraAuthorization(files, noVersion, local, device)->error, newerClient);
    EXPECT_EQ(gate(stream, std::nullopt, local, device, 15), std::nullopt) << "unprotected scopes are not refused";
    EXPECT_EQ(gate(files, token, local, device, 16), std::nullopt);
}

TEST_F(ExtraAuthorizationGateTest, ASessionLastsTheDurationChosenWhenItWasGranted) {
    extra->setSessionDuration(HalvardineExtraAuthorizationSessionDuration::short_);
    const auto reply = authorizeExtra("secret");
    EXPECT_EQ(reply.extraAuthorizationSessionDuration, HalvardineExtraAuthorizationSessionDuration::short_);
    const std::string token = reply.extraAuthorizationToken.value_or("");
    clock.advance(299);
    EXPECT_EQ(gate(files, token), std::nullopt);
    clock.advance(1);
    EXPECT_EQ(gate(files, token), required);
    EXPECT_EQ(extra->sessionCount(), 0u) << "expired sessions are dropped";
}

TEST_F(ExtraAuthorizationGateTest, AuthorizeExtraRefusesMissingScopesAndCountsMissingPasswords) {
    auto reply = std::optional<HalvardineResponse>();
    extra->authorizeExtra(request("authorizeExtra", std::nullopt, "secret"), local, device,
                          [&](HalvardineResponse response) { reply = std::move(response); });
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->error, "No extra authorization scope was provided.");
    EXPECT_EQ(reply->errorCode, HalvardineErrorCode::actionFailed);

    EXPECT_EQ(startAuthorizeExtra(std::nullopt)->value_or(HalvardineResponse{}).error, incorrect)
        << "refused at once, without a key derivation";
    EXPECT_EQ(startAuthorizeExtra(" \t")->value_or(HalvardineResponse{}).error, incorrect);
    EXPECT_EQ(runDerivations(), 0u);
    EXPECT_EQ(failures.failureCount("extra-authorization:files:local", clock.now()), 2u);
}

TEST_F(ExtraAuthorizationGateTest, RepeatedWrongPasswordsLockOneScopeOnOneChannel) {
    for (int attempt = 1; attempt <= 7; ++attempt) EXPECT_EQ(authorizeExtra("wrong", files, relay).error, incorrect);
    EXPECT_EQ(lastAudit().message, "Rejected extra authorization password for files on relay.");
    EXPECT_EQ(authorizeExtra("wrong", files, relay).error, incorrect);
    EXPECT_EQ(lastAudit().message,
              "Rejected extra authorization password for files on relay. Further requests are temporarily blocked.");

    const auto blocked = authorizeExtra("secret", files, relay);
    EXPECT_EQ(blocked.error, locked);
    EXPECT_EQ(blocked.errorCode, HalvardineErrorCode::extraAuthorizationRequired);
    EXPECT_EQ(blocked.extraAuthorizationScope, files);
    EXPECT_EQ(lastAudit().message, "Blocked extra authorization after repeated failures.");
    EXPECT_EQ(lastAudit().action, "authorizeExtra");
    EXPECT_EQ(lastAudit().fingerprint, device);

    EXPECT_TRUE(authorizeExtra("secret", files, local).ok);
    EXPECT_TRUE(authorizeExtra("secret", stream, relay).ok);

    clock.advance(60.5);
    EXPECT_TRUE(authorizeExtra("secret", files, relay).ok);
    EXPECT_EQ(failures.failureCount("extra-authorization:files:relay", clock.now()), 0u) << "a grant forgives";
}

TEST_F(ExtraAuthorizationGateTest, ABurstOfGuessesTestsNoMorePasswordsThanTheLimiterAllows) {
    std::vector<std::shared_ptr<std::optional<HalvardineResponse>>> replies;
    for (int guess = 0; guess < 50; ++guess) replies.push_back(startAuthorizeExtra("guess " + std::to_string(guess)));
    // All fifty arrived before any check finished.
    mainLoop.runReady();  // the checks start on the main loop
    EXPECT_EQ(runDerivations(), SecurityFailureLimiter::blockThreshold);
    settle();
    std::size_t wrong = 0;
    std::size_t refused = 0;
    for (const auto& reply : replies) {
        ASSERT_TRUE(reply->has_value());
        wrong += (*reply)->error == incorrect;
        refused += (*reply)->error == locked;
    }
    EXPECT_EQ(wrong, SecurityFailureLimiter::blockThreshold);
    EXPECT_EQ(refused, 50 - SecurityFailureLimiter::blockThreshold);
    EXPECT_EQ(authorizeExtra("secret").error, locked);
}

TEST_F(ExtraAuthorizationGateTest, ChecksRunningAtOnceCountOnlyUntilTheyFinish) {
    // Two right passwords at once: both granted, and nothing is held against the key.
    auto first = startAuthorizeExtra("secret");
    auto second = startAuthorizeExtra("secret");
    settle();
    EXPECT_TRUE((*first)->ok);
    EXPECT_TRUE((*second)->ok);
    for (int attempt = 1; attempt <= 7; ++attempt) EXPECT_EQ(authorizeExtra("wrong").error, incorrect);
    EXPECT_TRUE(authorizeExtra("secret").ok) << "seven failures leave room for one more check";
}

TEST(ExtraAuthorizationKeyDerivation, TheMainLoopServesTimersWhileAKeyIsDerived) {
    platform::MainLoop mainLoop;
    platform::ManualClock clock;
    asio::thread_pool pool(1);
    const auto record = makeExtraAuthorizationPasswordRecord("secret");
    std::optional<bool> verified;
    {
        const ExtraAuthorizationKeyDerivation derivation(pool.get_executor());
        auto check = [&]() -> asio::awaitable<void> { verified = co_await derivation.verify("secret", record); };
        asio::co_spawn(mainLoop.executor(), check, asio::detached);
        bool timerFired = false;
        const auto timer = clock.schedule(mainLoop.executor(), 0.5, [&] { timerFired = true; });
        clock.advance(0.5);
        mainLoop.runReady();
        // A derivation of this many iterations takes far longer than the
        // steps since it was started.
        EXPECT_TRUE(timerFired);
        EXPECT_FALSE(verified);
        while (!verified) {
            ASSERT_GT(mainLoop.context().run_one_for(std::chrono::seconds(60)), 0u);
        }
        EXPECT_TRUE(*verified);
    }
    pool.join();
}

TEST_F(ExtraAuthorizationGateTest, NoCheckResumesAfterItsOwnerIsGone) {
    const auto reply = startAuthorizeExtra("secret");
    mainLoop.runReady();
    extra.reset();
    settle();  // the derivation runs; its result finds no one waiting
    EXPECT_FALSE(reply->has_value());
}

TEST(Sha256Text, HexOfTheUtf8Bytes) {
    EXPECT_EQ(sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

}  // namespace
}  // namespace zentrabo::testing
