#include <stdexcept>

#include "maccontrol/mac_menu_error.hpp"
#include "model/halvardine_protocol.hpp"
#include "platform/host/host_address.hpp"
#include "server/mac_name.hpp"
#include "server_fixture.hpp"

namespace zentrabo::testing {
namespace {

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

void expectIdentity(const HalvardineResponse& response, const HalvardineServer& server,
                    HalvardineExtraAuthorizationSessionDuration duration) {
    EXPECT_EQ(response.id, "R-1");
    EXPECT_EQ(response.serverProtocolVersion, 22);
    EXPECT_EQ(response.minimumSupportedClientProtocolVersion, 1);
    EXPECT_EQ(response.serverAppVersion, std::string(appVersion()));
    EXPECT_EQ(response.serverBuildNumber, std::string(buildNumber()));
    EXPECT_EQ(response.macName, macName());
    EXPECT_EQ(response.host, platform::primaryLocalIPv4Address());
    // Before the listener is ready there is no port yet.
    EXPECT_FALSE(response.port.has_value());
    ASSERT_TRUE(server.listener().serverCertificateFingerprint()->has_value());
    EXPECT_EQ(response.serverCertificateFingerprint, *server.listener().serverCertificateFingerprint());
    EXPECT_EQ(response.extraAuthorizationSessionDuration, duration);
    EXPECT_FALSE(response.token.has_value());
    EXPECT_FALSE(response.connectionRoute.has_value());
    EXPECT_FALSE(response.clientCertificateFingerprint.has_value());
}

TEST_F(ServerTest, VersionGateRefusesOnlyUnacceptableVersions) {
    auto server = makeServer();
    for (const auto& acceptable :
         {request(std::nullopt, std::nullopt), request(1, 22), request(22, -3), request(std::nullopt, 0)}) {
        EXPECT_FALSE(server->protocolVersionFailureResponse(acceptable).has_value());
    }

    const auto tooOldClient = server->protocolVersionFailureResponse(request(0, std::nullopt));
    ASSERT_TRUE(tooOldClient.has_value());
    EXPECT_FALSE(tooOldClient->ok);
    EXPECT_EQ(tooOldClient->error, clientTooOld);
    EXPECT_EQ(tooOldClient->errorCode, HalvardineErrorCode::actionFailed);

    const auto tooOldServer = server->protocolVersionFailureResponse(request(22, 23));
    ASSERT_TRUE(tooOldServer.has_value());
    EXPECT_EQ(tooOldServer->error, serverTooOld);
    EXPECT_EQ(tooOldServer->errorCode, HalvardineErrorCode::actionFailed);

    // Failing both tests names only the client's version.
    EXPECT_EQ(server->protocolVersionFailureResponse(request(-1, 99))->error, clientTooOld);
}

TEST_F(ServerTest, EveryReplyCarriesTheServerIdentity) {
    makeServer();
    defaults->set("extraAuthorizationSessionDuration", std::string("long"));
    auto server = makeServer();
    const auto duration = HalvardineExtraAuthorizationSessionDuration::long_;

    const auto success = server->identityResponse("R-1", true);
    EXPECT_TRUE(success.ok);
    EXPECT_FALSE(success.error.has_value());
    EXPECT_FALSE(success.errorCode.has_value());
    expectIdentity(success, *server, duration);

    const auto refusal = server->notAuthorizedResponse("R-1");
    EXPECT_FALSE(refusal.ok);
    EXPECT_EQ(refusal.error, "Not authorized.");
    EXPECT_EQ(refusal.errorCode, HalvardineErrorCode::notAuthorized);
    expectIdentity(refusal, *server, duration);

    expectIdentity(*server->protocolVersionFailureResponse(request(0, std::nullopt)), *server, duration);
    expectIdentity(server->errorResponse("R-1", std::runtime_error("boom")), *server, duration);
}

TEST_F(ServerTest, ErrorReplyOfAnUnknownErrorHasNoCode) {
    auto server = makeServer();
    const auto response = server->errorResponse("R-1", std::runtime_error("disk on fire"));
    EXPECT_FALSE(response.ok);
    EXPECT_EQ(response.error, "disk on fire");
    EXPECT_FALSE(response.errorCode.has_value());
    EXPECT_NE(home.logText().find("Request failed: disk on fire, code=none\n"), std::string::npos);
}

TEST_F(ServerTest, ErrorReplyCarriesTheModalOrTheApplicationToRecover) {
    auto server = makeServer();

    const auto mismatch = server->errorResponse("R-1", MacMenuError(Case::modalMismatch, sheet(), "Print"));
    EXPECT_EQ(mismatch.error, "Modal window does not match Print: Save changes?");
    EXPECT_EQ(mismatch.errorCode, HalvardineErrorCode::modalDismissUnavailable);
    EXPECT_EQ(mismatch.modalInfo, sheet());
    EXPECT_NE(home.logText().find("Request failed: Modal window does not match Print: Save changes?, "
                                  "code=modalDismissUnavailable\n"),
              std::string::npos);

    EXPECT_EQ(server->errorResponse("R-1", MacMenuError(Case::inputBlocked, sheet())).modalInfo, sheet());
    EXPECT_FALSE(server->errorResponse("R-1", MacMenuError(Case::menuItemNotFound, "X")).modalInfo.has_value());

    const auto recoverable =
        server->errorResponse("R-1", MacMenuError(Case::applicationUnresponsive, "Notes", "com.example.Notes"));
    ASSERT_TRUE(recoverable.applicationRecovery.has_value());
    EXPECT_EQ(recoverable.applicationRecovery->localizedName, "Notes");
    EXPECT_EQ(recoverable.applicationRecovery->bundleIdentifier, "com.example.Notes");
    EXPECT_EQ(recoverable.errorCode, HalvardineErrorCode::applicationUnresponsive);

    const auto anonymous =
        server->errorResponse("R-1", MacMenuError(Case::applicationUnresponsive, "Notes", std::nullopt));
    EXPECT_FALSE(anonymous.applicationRecovery.has_value());
}

TEST_F(ServerTest, ErrorLogLineEscapesPeerText) {
    auto server = makeServer();
    server->errorResponse("R-1", MacMenuError(Case::applicationNotFound, "evil\n[forged] line"));
    const std::string log = home.logText();
    EXPECT_EQ(log.find("\n[forged] line"), std::string::npos);
    EXPECT_NE(log.find("Application not found: evil\\n[forged] line, code=applicationNotFound"), std::string::npos);
}

}  // namespace
}  // namespace zentrabo::testing
