// The reply builder on its own, over a listener status and a session
// duration of the test's.
#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

#include "maccontrol/mac_menu_error.hpp"
#include "model/halvardine_protocol.hpp"
#include "platform/host/host_address.hpp"
#include "server/mac_name.hpp"
#include "server/reply_builder.hpp"
#include "support/temporary_home.hpp"

namespace zentrabo::testing {
namespace {

class ReplyBuilderTest : public ::testing::Test {
protected:
    // The log appends only into an existing folder, as after installation.
    void SetUp() override {
        std::filesystem::create_directories(home.logFolder());
        listener.setServerCertificateFingerprint(std::string(64, 'f'));
    }

    TemporaryHome home;
    ListenerStatus listener;
    Published<HalvardineExtraAuthorizationSessionDuration> sessionDuration;
    ReplyBuilder replies{listener, sessionDuration};
};

using Case = MacMenuError::Case;

HalvardineRequest request(std::optional<std::int64_t> clientVersion, std::optional<std::int64_t> minimumServerVersion) {
    HalvardineRequest request;
    request.id = "R-1";
    request.action = "ping";
    request.clientProtocolVersion = clientVersion;
    request.minimumSupportedServerProtocolVersion = minimumServerVersion;
    return request;
}

constexpr const char* clientTooOld = "Update Zentrabo on this device. The Mac server requires a newer client version.";
constexpr const char* serverTooOld = "Update Zentrabo Server on this Mac. This action requires a newer server version.";

RemoteModalInfo sheet() {
    RemoteModalInfo modal;
    modal.title = "Save changes?";
    modal.role = "AXSheet";
    modal.buttonTitles = {"Save", "Don't Save"};
    return modal;
}

void expectIdentity(const HalvardineResponse& response, const ListenerStatus& listener,
                    HalvardineExtraAuthorizationSessionDuration duration) {
    EXPECT_EQ(response.id, "R-1");
    EXPECT_EQ(response.serverProtocolVersion, 22);
    EXPECT_EQ(response.minimumSupportedClientProtocolVersion, 1);
    EXPECT_EQ(response.serverAppVersion, std::string(appVersion()));
    EXPECT_EQ(response.serverBuildNumber, std::string(buildNumber()));
    EXPECT_EQ(response.macName, macName());
    EXPECT_EQ(response.host, platform::primaryLocalIPv4Address());
    EXPECT_EQ(response.port, *listener.port());
    ASSERT_TRUE(listener.serverCertificateFingerprint()->has_value());
    EXPECT_EQ(response.serverCertificateFingerprint, *listener.serverCertificateFingerprint());
    EXPECT_EQ(response.extraAuthorizationSessionDuration, duration);
    EXPECT_FALSE(response.token.has_value());
    EXPECT_FALSE(response.connectionRoute.has_value());
    EXPECT_FALSE(response.clientCertificateFingerprint.has_value());
}

TEST_F(ReplyBuilderTest, VersionGateRefusesOnlyUnacceptableVersions) {
    for (const auto& acceptable :
         {request(std::nullopt, std::nullopt), request(1, 22), request(22, -3), request(std::nullopt, 0)}) {
        EXPECT_FALSE(replies.protocolVersionFailureResponse(acceptable).has_value());
    }

    const auto tooOldClient = replies.protocolVersionFailureResponse(request(0, std::nullopt));
    ASSERT_TRUE(tooOldClient.has_value());
    EXPECT_FALSE(tooOldClient->ok);
    EXPECT_EQ(tooOldClient->error, clientTooOld);
    EXPECT_EQ(tooOldClient->errorCode, HalvardineErrorCode::actionFailed);

    const auto tooOldServer = replies.protocolVersionFailureResponse(request(22, 23));
    ASSERT_TRUE(tooOldServer.has_value());
    EXPECT_EQ(tooOldServer->error, serverTooOld);
    EXPECT_EQ(tooOldServer->errorCode, HalvardineErrorCode::actionFailed);

    // Failing both tests names only the client's version.
    EXPECT_EQ(replies.protocolVersionFailureResponse(request(-1, 99))->error, clientTooOld);
}

TEST_F(ReplyBuilderTest, EveryReplyCarriesTheServerIdentity) {
    const auto duration = HalvardineExtraAuthorizationSessionDuration::long_;
    sessionDuration.set(duration);

    const auto success = replies.identityResponse("R-1", true);
    EXPECT_TRUE(success.ok);
    EXPECT_FALSE(success.error.has_value());
    EXPECT_FALSE(success.errorCode.has_value());
    expectIdentity(success, listener, duration);

    const auto refusal = replies.notAuthorizedResponse("R-1");
    EXPECT_FALSE(refusal.ok);
    EXPECT_EQ(refusal.error, "Not authorized.");
    EXPECT_EQ(refusal.errorCode, HalvardineErrorCode::notAuthorized);
    expectIdentity(refusal, listener, duration);

    expectIdentity(*replies.protocolVersionFailureResponse(request(0, std::nullopt)), listener, duration);
    expectIdentity(replies.errorResponse("R-1", std::runtime_error("boom")), listener, duration);

    // Each reply reads the listener and the duration as they are then.
    listener.setListenerStatus(true, 50123);
    sessionDuration.set(HalvardineExtraAuthorizationSessionDuration::short_);
    const auto later = replies.identityResponse("R-1", true);
    EXPECT_EQ(later.port, 50123);
    EXPECT_EQ(later.extraAuthorizationSessionDuration, HalvardineExtraAuthorizationSessionDuration::short_);
}

TEST_F(ReplyBuilderTest, ErrorReplyOfAnUnknownErrorHasNoCode) {
    const auto response = replies.errorResponse("R-1", std::runtime_error("disk on fire"));
    EXPECT_FALSE(response.ok);
    EXPECT_EQ(response.error, "disk on fire");
    EXPECT_FALSE(response.errorCode.has_value());
    EXPECT_NE(home.logText().find("Request failed: disk on fire, code=none\n"), std::string::npos);
}

TEST_F(ReplyBuilderTest, ErrorReplyCarriesTheModalOrTheApplicationToRecover) {
    const auto mismatch = replies.errorResponse("R-1", MacMenuError(Case::modalMismatch, sheet(), "Print"));
    EXPECT_EQ(mismatch.error, "Modal window does not match Print: Save changes?");
    EXPECT_EQ(mismatch.errorCode, HalvardineErrorCode::modalDismissUnavailable);
    EXPECT_EQ(mismatch.modalInfo, sheet());
    EXPECT_NE(home.logText().find("Request failed: Modal window does not match Print: Save changes?, "
                                  "code=modalDismissUnavailable\n"),
              std::string::npos);

    EXPECT_EQ(replies.errorResponse("R-1", MacMenuError(Case::inputBlocked, sheet())).modalInfo, sheet());
    EXPECT_FALSE(replies.errorResponse("R-1", MacMenuError(Case::menuItemNotFound, "X")).modalInfo.has_value());

    const auto recoverable =
        replies.errorResponse("R-1", MacMenuError(Case::applicationUnresponsive, "Notes", "com.example.Notes"));
    ASSERT_TRUE(recoverable.applicationRecovery.has_value());
    EXPECT_EQ(recoverable.applicationRecovery->localizedName, "Notes");
    EXPECT_EQ(recoverable.applicationRecovery->bundleIdentifier, "com.example.Notes");
    EXPECT_EQ(recoverable.errorCode, HalvardineErrorCode::applicationUnresponsive);

    const auto anonymous =
        replies.errorResponse("R-1", MacMenuError(Case::applicationUnresponsive, "Notes", std::nullopt));
    EXPECT_FALSE(anonymous.applicationRecovery.has_value());
}

TEST_F(ReplyBuilderTest, ErrorLogLineEscapesPeerText) {
    replies.errorResponse("R-1", MacMenuError(Case::applicationNotFound, "evil\n[forged] line"));
    const std::string log = home.logText();
    EXPECT_EQ(log.find("\n[forged] line"), std::string::npos);
    EXPECT_NE(log.find("Application not found: evil\\n[forged] line, code=applicationNotFound"), std::string::npos);
}

}  // namespace
}  // namespace zentrabo::testing
