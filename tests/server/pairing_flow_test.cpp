// The pairing window and the "pair" request on a whole server, with a
// manual clock.
#include <sys/stat.h>

#include <filesystem>

#include "platform/host/host_address.hpp"
#include "platform/imaging/png_codec.hpp"
#include "platform/store/store_files.hpp"
#include "server/authorization/paired_device_store.hpp"
#include "server_fixture.hpp"

namespace zentrabo::testing {
namespace {

using Channel = HalvardineExtraAuthorizationChannel;

const std::string phoneFingerprint(64, 'a');
const std::string tabletFingerprint(64, 'b');

class PairingTest : public ServerTest {
protected:
    void SetUp() override {
        ServerTest::SetUp();
        server = makeServer();
        server->listener().setListenerStatus(true, 50123);
    }

    void advance(double seconds) {
        clock.advance(seconds);
        mainLoop.runReady();
    }

    HalvardineResponse pair(std::optional<std::string> code, std::optional<std::string> fingerprint = phoneFingerprint,
                            std::optional<std::string> nonce = std::nullopt,
                            std::optional<std::string> name = std::string("Anna's iPhone")) {
        HalvardineRequest request;
        request.id = "request-1";
        request.action = "pair";
        request.pairingCode = std::move(code);
        request.pairingNonce = std::move(nonce);
        request.clientName = std::move(name);
        return server->handlePairRequest(request, fingerprint, Channel::local);
    }

    // The code of the open session with its first digit changed.
    std::string wrongCode() const {
        std::string code = *server->pairingCode();
        code[0] = code[0] == '9' ? '0' : static_cast<char>(code[0] + 1);
        return code;
    }

    // The value of one item of the open session's pairing link.
    std::string linkValue(std::string_view name) const {
        const std::string link = server->pairingLink().value_or("");
        const std::string item = std::string(name) + "=";
        std::size_t start = link.find("?" + item);
        if (start == std::string::npos) start = link.find("&" + item);
        if (start == std::string::npos) return {};
        start += item.size() + 1;
        return link.substr(start, link.find('&', start) - start);
    }

    std::vector<std::string> auditMessages() const {
        std::vector<std::string> messages;
        for (const auto& event : *server->authorization().auditLog().securityAuditEvents())
            messages.push_back(event.message);
        return messages;
    }

    std::shared_ptr<HalvardineServer> server;
};

TEST_F(PairingTest, SessionCountsDownEachSecondAndExpiresAt120Seconds) {
    std::vector<int> published;
    server->pairingRemainingSeconds().observe([&](const int& value) { published.push_back(value); });
    // The server's own periodic work, which pairing leaves alone.
    const std::size_t pendingBeforePairing = clock.pendingCount();
    server->startPairingSession();
    ASSERT_TRUE(*server->isPairingActive());
    EXPECT_EQ(server->pairingCode()->size(), 6u);
    EXPECT_EQ(*server->pairingExpiresAt(), clock.now() + 120.0);
    EXPECT_EQ(auditMessages(), std::vector<std::string>{"Pairing session started."});

    for (int second = 1; second < 120; ++second) advance(1.0);
    EXPECT_EQ(*server->pairingRemainingSeconds(), 1);
    EXPECT_TRUE(*server->isPairingActive());
    advance(1.0);
    EXPECT_FALSE(*server->isPairingActive());
    EXPECT_EQ(*server->pairingCode(), "");
    EXPECT_EQ(*server->pairingRemainingSeconds(), 0);
    EXPECT_FALSE(server->pairingExpiresAt()->has_value());
    EXPECT_NE(home.logText().find("Pairing session expired"), std::string::npos);
    ASSERT_EQ(published.size(), 121u);
    for (int index = 0; index < 120; ++index) EXPECT_EQ(published[index], 120 - index);
    EXPECT_EQ(published.back(), 0);
    EXPECT_EQ(clock.pendingCount(), pendingBeforePairing) << "the countdown ends with the session";
}

TEST_F(PairingTest, StartIsRefusedWhileTheServerIsNotRunning) {
    server->listener().setListenerStatus(false, std::nullopt);
    server->startPairingSession();
    EXPECT_FALSE(*server->isPairingActive());
    EXPECT_NE(home.logText().find("Pairing session not started because the server is not running"), std::string::npos);
    EXPECT_TRUE(server->authorization().auditLog().securityAuditEvents()->empty());
}

TEST_F(PairingTest, WrongCodesAreRefusedAuditedAndTheThirdLocksPairing) {
    server->startPairingSession();
    const std::string code = *server->pairingCode();

    auto reply = pair(wrongCode());
    EXPECT_FALSE(reply.ok);
    EXPECT_EQ(reply.error, "The pairing code is incorrect. 2 attempts remaining.");
    EXPECT_EQ(reply.errorCode, HalvardineErrorCode::pairingCodeInvalid);
    EXPECT_FALSE(reply.token.has_value());
    EXPECT_FALSE(reply.clientCertificateFingerprint.has_value());
    EXPECT_EQ(reply.serverProtocolVersion, 22);
    const auto& event = server->authorization().auditLog().securityAuditEvents()->front();
    EXPECT_EQ(event.message, "Rejected pairing request with incorrect code. 2 attempts remaining.");
    EXPECT_EQ(event.action, "pair");
    EXPECT_EQ(event.fingerprint, phoneFingerprint);

    reply = pair(std::nullopt);
    EXPECT_EQ(reply.error, "The pairing code is incorrect. 1 attempts remaining.");
    reply = pair(code, phoneFingerprint, std::string("0123456789ABCDEF0123456789ABCDEF"));
    EXPECT_EQ(reply.error, "Too many incorrect pairing attempts. Start pairing again on the Mac.");
    EXPECT_EQ(reply.errorCode, HalvardineErrorCode::pairingUnavailable);
    EXPECT_FALSE(*server->isPairingActive());
    EXPECT_EQ(auditMessages().front(), "Pairing session cancelled after too many incorrect attempts.");

    reply = pair(code);
    EXPECT_EQ(reply.error, "Pairing is temporarily locked. Try again in 60 seconds.");
    advance(30.2);
    server->startPairingSession();
    EXPECT_FALSE(*server->isPairingActive());
    EXPECT_EQ(auditMessages().front(), "Pairing session not started because pairing is locked for 30 seconds");
    advance(29.4);
    EXPECT_EQ(pair(code).error, "Pairing is temporarily locked. Try again in 1 seconds.");
    advance(1.0);
    EXPECT_EQ(pair(code).error, "Pairing is not active. Start pairing on the Mac and try again.");
    server->startPairingSession();
    EXPECT_TRUE(*server->isPairingActive());
}

TEST_F(PairingTest, SecondStartReplacesTheSessionWithItsNonceAndAttempts) {
    server->startPairingSession();
    const std::string firstNonce = linkValue("nonce");
    EXPECT_EQ(pair(wrongCode()).error, "The pairing code is incorrect. 2 attempts remaining.");

    server->startPairingSession();
    ASSERT_NE(linkValue("nonce"), firstNonce);
    // The attempt count starts again: one more wrong code leaves two.
    EXPECT_EQ(pair(wrongCode()).error, "The pairing code is incorrect. 2 attempts remaining.");
    // The first session's nonce is worthless even with the new code.
    EXPECT_EQ(pair(*server->pairingCode(), phoneFingerprint, firstNonce).error,
              "The pairing code is incorrect. 1 attempts remaining.");
    EXPECT_TRUE(pair(*server->pairingCode(), phoneFingerprint, linkValue("nonce")).ok);
}

TEST_F(PairingTest, CorrectCodePairsOnceAndTheDeviceSurvivesARestart) {
    server->startPairingSession();
    const std::string code = *server->pairingCode();
    auto reply = pair(" " + code.substr(0, 3) + "-" + code.substr(3) + " ", "AA:" + phoneFingerprint.substr(2));
    ASSERT_TRUE(reply.ok) << reply.error.value_or("");
    EXPECT_EQ(reply.token, "");
    EXPECT_EQ(reply.clientCertificateFingerprint, phoneFingerprint);
    EXPECT_FALSE(*server->isPairingActive());
    EXPECT_EQ(auditMessages().front(), "Paired client aaaaaa...aaaaaa.");
    ASSERT_EQ(server->authorization().pairedDevices()->size(), 1u);
    const auto device = server->authorization().pairedDevices()->front();
    EXPECT_EQ(device.displayName, "Anna's iPhone");
    EXPECT_EQ(device.pairedAt, clock.now());
    EXPECT_EQ(device.lastConnectionChannel, Channel::local);

    reply = pair(code, tabletFingerprint);
    EXPECT_EQ(reply.error, "Pairing is not active. Start pairing on the Mac and try again.");
    EXPECT_EQ(server->authorization().pairedDevices()->size(), 1u);

    // Re-pairing the same certificate renames it and keeps its pairing date.
    advance(5.0);
    server->startPairingSession();
    reply = pair(*server->pairingCode(), phoneFingerprint, std::nullopt, std::string("   "));
    ASSERT_TRUE(reply.ok);
    ASSERT_EQ(server->authorization().pairedDevices()->size(), 1u);
    EXPECT_EQ(server->authorization().pairedDevices()->front().displayName, "Unknown Device");
    EXPECT_EQ(server->authorization().pairedDevices()->front().pairedAt, device.pairedAt);

    const auto saved = *server->authorization().pairedDevices();
    server.reset();
    server = makeServer();
    EXPECT_EQ(*server->authorization().pairedDevices(), saved);
}

TEST_F(PairingTest, CorrectCodeWithoutCertificateKeepsTheSessionOpen) {
    server->startPairingSession();
    const std::string code = *server->pairingCode();
    auto reply = pair(code, std::nullopt);
    EXPECT_EQ(reply.error, "The client certificate is missing.");
    EXPECT_FALSE(reply.errorCode.has_value());
    EXPECT_EQ(auditMessages().front(), "Rejected pairing request without a client certificate.");
    EXPECT_TRUE(*server->isPairingActive());
    EXPECT_TRUE(pair(code, phoneFingerprint).ok);
}

TEST_F(PairingTest, ExpiredCodeIsRefusedAndClosesTheSession) {
    server->startPairingSession();
    const std::string code = *server->pairingCode();
    // Time moves on without the countdown running (a busy main loop).
    clock.advance(120.0);
    const auto reply = pair(code);
    EXPECT_EQ(reply.error, "The pairing code has expired. Start pairing again on the Mac.");
    EXPECT_EQ(auditMessages().front(), "Rejected pairing request because the pairing code expired.");
    EXPECT_FALSE(*server->isPairingActive());
}

TEST_F(PairingTest, QRCodeCarriesTheLinkAndIsKeptOwnerOnlyWhileTheWindowIsOpen) {
    const auto path = platform::dataFolder() / "pairing-qr.png";
    auto image = platform::decodePng(server->pairingQRCode());
    EXPECT_EQ(image.width, 260u) << "blank without a session";

    server->startPairingSession();
    const auto png = server->pairingQRCode();
    image = platform::decodePng(png);
    EXPECT_NE(image.width, 260u);
    struct stat status {};
    ASSERT_EQ(::stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    const std::string link = *server->pairingLink();
    EXPECT_EQ(link.rfind("zentrabo://pair?service=", 0), 0u);
    EXPECT_NE(link.find("&code=" + *server->pairingCode() + "&nonce="), std::string::npos);

    advance(120.0);
    EXPECT_FALSE(*server->isPairingActive());
    EXPECT_FALSE(std::filesystem::exists(path)) << "the image expires with its window";
}

TEST_F(PairingTest, LinkCarriesTheRelayRouteOnlyWhileRelayIsUsable) {
    server->startPairingSession();
    EXPECT_EQ(linkValue("relayHost"), "") << "relay is off";
    EXPECT_TRUE(server->relay().updateRelayHost(" https://relay.example.org/tunnel "));
    server->relay().setRelayEnabled(true);
    EXPECT_EQ(linkValue("relayHost"), "relay.example.org");
    EXPECT_EQ(linkValue("relayPort"), std::to_string(*server->relay().relayClientPort()));
    EXPECT_EQ(linkValue("relayID"), *server->relay().relayDeviceID());
    // The address is the machine's own; a namespace with loopback only has none.
    EXPECT_EQ(linkValue("port"), platform::primaryLocalIPv4Address() ? "50123" : "");

    server->relay().setRelayEnabled(false);
    EXPECT_EQ(server->pairingLink()->find("relay"), std::string::npos);
    server->listener().setListenerStatus(true, std::nullopt);
    EXPECT_EQ(server->pairingLink()->find("host="), std::string::npos) << "no port, no address either";
    EXPECT_EQ(server->pairingLink()->find("port="), std::string::npos);
}

}  // namespace
}  // namespace zentrabo::testing
