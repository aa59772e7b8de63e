#pragma once
// Extra authorization on a temporary HOME, a manual clock and a key-derivation
// context that runs only when the test says so, so that a test decides which
// checks are still running when the next request arrives.
#include <gtest/gtest.h>

#include <asio/io_context.hpp>

#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/dispatch/main_loop.hpp"
#include "platform/dispatch/manual_clock.hpp"
#include "platform/store/user_defaults.hpp"
#include "security/halvardine_keychain.hpp"
#include "server/authorization/security_audit_log.hpp"
#include "server/authorization/security_failure_limiter.hpp"
#include "server/connection/listener_status.hpp"
#include "server/extra_authorization/extra_authorization.hpp"
#include "server/reply_builder.hpp"
#include "support/temporary_home.hpp"

namespace zentrabo::testing {

class ExtraAuthorizationTest : public ::testing::Test {
protected:
    static constexpr auto local = HalvardineExtraAuthorizationChannel::local;
    static constexpr auto relay = HalvardineExtraAuthorizationChannel::relay;
    static constexpr auto stream = HalvardineExtraAuthorizationScope::stream;
    static constexpr auto files = HalvardineExtraAuthorizationScope::files;
    static constexpr auto workflows = HalvardineExtraAuthorizationScope::workflows;
    inline static const std::string device = std::string(64, 'a');
    inline static const std::string otherDevice = std::string(64, 'b');

    ExtraAuthorizationTest() { restart(); }

    // A new object on the same stores, as after a restart of the server.
    void restart() {
        extra.reset();
        defaults = platform::UserDefaults::create(clock, mainLoop.executor(), [](const std::string&) {});
        extra = std::make_unique<ExtraAuthorization>(ExtraAuthorizationEnvironment{
            clock, mainLoop.executor(), work.get_executor(), *defaults, keychain, failures, auditLog, replies});
    }

    // Runs the derivations started so far; returns how many ran.
    std::size_t runDerivations() {
        work.restart();
        return work.run();
    }
    // Derivations and their resumptions until nothing is left.
    void settle() {
        while (runDerivations() + mainLoop.runReady() > 0) {
        }
    }

    // The outcome of a settings operation once everything has run: none for
    // success, else the error's description.
    template <class Start>
    std::optional<std::string> settingsOutcome(Start start) {
        bool finished = false;
        std::optional<std::string> outcome;
        start([&](std::exception_ptr error) {
            finished = true;
            if (!error) return;
            try {
                std::rethrow_exception(error);
            } catch (const std::exception& thrown) {
                outcome = thrown.what();
            }
        });
        settle();
        EXPECT_TRUE(finished);
        return outcome;
    }
    std::optional<std::string> update(std::optional<std::string> current, std::string next) {
        return settingsOutcome([&](auto done) { extra->updatePassword(std::move(current), std::move(next), done); });
    }
    std::optional<std::string> remove(std::string password) {
        return settingsOutcome([&](auto done) { extra->removePassword(std::move(password), done); });
    }
    std::optional<std::string> unlock(std::string password) {
        return settingsOutcome([&](auto done) { extra->unlockSettings(std::move(password), done); });
    }

    static HalvardineRequest request(std::string action, std::optional<HalvardineExtraAuthorizationScope> scope,
                                     std::optional<std::string> password = std::nullopt,
                                     std::optional<std::string> token = std::nullopt, std::int64_t version = 22) {
        HalvardineRequest request;
        request.id = "r1";
        request.action = std::move(action);
        request.clientProtocolVersion = version;
        request.extraAuthorizationScope = scope;
        request.extraAuthorizationPassword = std::move(password);
        request.extraAuthorizationToken = std::move(token);
        return request;
    }

    // Starts "authorizeExtra"; the reply lands in the returned slot.
    std::shared_ptr<std::optional<HalvardineResponse>> startAuthorizeExtra(
        std::optional<std::string> password, HalvardineExtraAuthorizationScope scope = files,
        HalvardineExtraAuthorizationChannel channel = local, const std::string& fingerprint = device) {
        auto reply = std::make_shared<std::optional<HalvardineResponse>>();
        extra->authorizeExtra(request("authorizeExtra", scope, std::move(password)), channel, fingerprint,
                              [reply](HalvardineResponse response) { *reply = std::move(response); });
        return reply;
    }
    HalvardineResponse authorizeExtra(std::optional<std::string> password,
                                      HalvardineExtraAuthorizationScope scope = files,
                                      HalvardineExtraAuthorizationChannel channel = local,
                                      const std::string& fingerprint = device) {
        auto reply = startAuthorizeExtra(std::move(password), scope, channel, fingerprint);
        settle();
        EXPECT_TRUE(reply->has_value());
        return reply->value_or(HalvardineResponse{});
    }

    // The gate's refusal text for a request with the token, none when it passes.
    std::optional<std::string> gate(HalvardineExtraAuthorizationScope scope, std::optional<std::string> token,
                                    HalvardineExtraAuthorizationChannel channel = local,
                                    const std::string& fingerprint = device, std::int64_t version = 22) {
        const auto refusal = extra->requireExtraAuthorization(
            scope, request("fileResource", std::nullopt, std::nullopt, std::move(token), version), channel,
            fingerprint);
        if (!refusal) return std::nullopt;
        return refusal->error.value_or("(no error)");
    }

    const HalvardineSecurityAuditEvent& lastAudit() const { return auditLog.securityAuditEvents()->front(); }
    std::size_t auditCount() const { return auditLog.securityAuditEvents()->size(); }

    TemporaryHome home;
    platform::MainLoop mainLoop;
    platform::ManualClock clock{platform::Date{800'000'000.0}};
    asio::io_context work;
    HalvardineKeychain keychain;
    SecurityFailureLimiter failures;
    SecurityAuditLog auditLog{clock};
    // Replies carry the identity fields of a listener that is not running;
    // the session duration they show is the server's concern.
    ListenerStatus listener;
    Published<HalvardineExtraAuthorizationSessionDuration> sessionDuration;
    ReplyBuilder replies{listener, sessionDuration};
    std::shared_ptr<platform::UserDefaults> defaults;
    std::unique_ptr<ExtraAuthorization> extra;
};

}  // namespace zentrabo::testing
