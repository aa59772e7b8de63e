// The pairing window and the "pair" request on the window alone, with the
// listener status, relay settings, authorizer and reply builder it is built
// on, and a manual clock.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <variant>

#include "platform/dispatch/main_loop.hpp"
#include "platform/dispatch/manual_clock.hpp"
#include "platform/files/xdg_folders.hpp"
#include "platform/host/host_address.hpp"
#include "platform/imaging/png_codec.hpp"
#include "server/pairing/pairing_window.hpp"
#include "support/relay_recorder.hpp"
#include "support/idle_screen_streams.hpp"
#include "support/temporary_home.hpp"

namespace zentrabo::testing {
namespace {

using Channel = HalvardineExtraAuthorizationChannel;

const std::string phoneFingerprint(64, 'a');
const std::string tabletFingerprint(64, 'b');

class PairingTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The log appends only into an existing folder, as after installation.
        std::filesystem::create_directories(home.logFolder());
        makeWindow();
        listener.setListenerStatus(true, 50123);
    }

    // The window and the features it is built on, on a fresh view of the
    // stores, as after a restart of the server.
    void makeWindow() {
        window.reset();
        relay.reset();
        authorizer.reset();
        defaults = platform::UserDefaults::create(clock, mainLoop.executor(), [](const std::string&) {});
        authorizer = std::make_unique<ClientAuthorizer>(clock, mainLoop.executor(), *defaults, streams);
        relay = std::make_shared<RelaySettings>(*defaults, keychain, recordingRelayFactory(relayRecord), listener);
        window = std::make_unique<PairingWindow>(clock, mainLoop.executor(), listener, *relay, *authorizer, replies);
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
        return window->handlePairRequest(request, fingerprint, Channel::local);
    }

    // The code of the open session with its first digit changed.
    std::string wrongCode() const {
        std::string code = *window->pairingCode();
        code[0] = code[0] == '9' ? '0' : static_cast<char>(code[0] + 1);
        return code;
    }

    // The value of one item of the open session's pairing link.
    std::string linkValue(std::string_view name) const {
        const std::string link = window->pairingLink().value_or("");
        const std::string item = std::string(name) + "=";
        std::size_t start = link.find("?" + item);
        if (start == std::string::npos) start = link.find("&" + item);
        if (start == std::string::npos) return {};
        start += item.size() + 1;
        return link.substr(start, link.find('&', start) - start);
    }

    std::vector<std::string> auditMessages() const {
        std::vector<std::string> messages;
        for (const auto& event : *authorizer->securityAuditEvents()) messages.push_back(event.message);
        return messages;
    }

    TemporaryHome home;
    platform::MainLoop mainLoop;
    platform::ManualClock clock{platform::Date{800'000'000.0}};
    HalvardineKeychain keychain;
    ListenerStatus listener;
    Published<HalvardineExtraAuthorizationSessionDuration> sessionDuration;
    ReplyBuilder replies{listener, sessionDuration};
    IdleScreenStreams idleStreams{clock, mainLoop.executor()};
    ScreenStreams& streams = idleStreams.streams;
    std::shared_ptr<RelayRecord> relayRecord = std::make_shared<RelayRecord>();
    std::shared_ptr<platform::UserDefaults> defaults;
    std::unique_ptr<ClientAuthorizer> authorizer;
    std::shared_ptr<RelaySettings> relay;
    std::unique_ptr<PairingWindow> window;
};

TEST_F(PairingTest, SessionCountsDownEachSecondAndExpiresAt120Seconds) {
    std::vector<int> published;
    window->pairingRemainingSeconds().observe([&](const int& value) { published.push_back(value); });
    const std::size_t pendingBeforePairing = clock.pendingCount();
    window->startPairingSession();
    ASSERT_TRUE(*window->isPairingActive());
    EXPECT_EQ(window->pairingCode()->size(), 6u);
    EXPECT_EQ(*window->pairingExpiresAt(), clock.now() + 120.0);
    EXPECT_EQ(auditMessages(), std::vector<std::string>{"Pairing session started."});

    for (int second = 1; second < 120; ++second) advance(1.0);
    EXPECT_EQ(*window->pairingRemainingSeconds(), 1);
    EXPECT_TRUE(*window->isPairingActive());
    advance(1.0);
    EXPECT_FALSE(*window->isPairingActive());
    EXPECT_EQ(*window->pairingCode(), "");
    EXPECT_EQ(*window->pairingRemainingSeconds(), 0);
    EXPECT_FALSE(window->pairingExpiresAt()->has_value());
    EXPECT_NE(home.logText().find("Pairing session expired"), std::string::npos);
    ASSERT_EQ(published.size(), 121u);
    for (int index = 0; index < 120; ++index) EXPECT_EQ(published[index], 120 - index);
    EXPECT_EQ(published.back(), 0);
    EXPECT_EQ(clock.pendingCount(), pendingBeforePairing) << "the countdown ends with the session";
}

TEST_F(PairingTest, StartIsRefusedWhileTheServerIsNotRunning) {
    listener.setListenerStatus(false, std::nullopt);
    const auto start = window->startPairingSession();
    ASSERT_TRUE(std::holds_alternative<PairingRefused>(start));
    EXPECT_EQ(std::get<PairingRefused>(start).reason, PairingRefused::Reason::serverNotRunning);
    EXPECT_FALSE(*window->isPairingActive());
    EXPECT_NE(home.logText().find("Pairing session not started because the server is not running"), std::string::npos);
    EXPECT_TRUE(authorizer->securityAuditEvents()->empty());
}

TEST_F(PairingTest, WrongCodesAreRefusedAuditedAndTheThirdLocksPairing) {
    window->startPairingSession();
    const std::string code = *window->pairingCode();

    auto reply = pair(wrongCode());
    EXPECT_FALSE(reply.ok);
    EXPECT_EQ(reply.error, "The pairing code is incorrect. 2 attempts remaining.");
    EXPECT_EQ(reply.errorCode, HalvardineErrorCode::pairingCodeInvalid);
    EXPECT_FALSE(reply.token.has_value());
    EXPECT_FALSE(reply.clientCertificateFingerprint.has_value());
    EXPECT_EQ(reply.serverProtocolVersion, 22);
    const auto& event = authorizer->securityAuditEvents()->front();
    EXPECT_EQ(event.message, "Rejected pairing request with incorrect code. 2 attempts remaining.");
    EXPECT_EQ(event.action, "pair");
    EXPECT_EQ(event.fingerprint, phoneFingerprint);

    reply = pair(std::nullopt);
    EXPECT_EQ(reply.error, "The pairing code is incorrect. 1 attempts remaining.");
    reply = pair(code, phoneFingerprint, std::string("0123456789ABCDEF0123456789ABCDEF"));
    EXPECT_EQ(reply.error, "Too many incorrect pairing attempts. Start pairing again on the Mac.");
    EXPECT_EQ(reply.errorCode, HalvardineErrorCode::pairingUnavailable);
    EXPECT_FALSE(*window->isPairingActive());
    EXPECT_EQ(auditMessages().front(), "Pairing session cancelled after too many incorrect attempts.");

    reply = pair(code);
    EXPECT_EQ(reply.error, "Pairing is temporarily locked. Try again in 60 seconds.");
    advance(30.2);
    const auto refused = window->startPairingSession();
    EXPECT_FALSE(*window->isPairingActive());
    EXPECT_EQ(auditMessages().front(), "Pairing session not started because pairing is locked for 30 seconds");
    ASSERT_TRUE(std::holds_alternative<PairingRefused>(refused));
    EXPECT_EQ(std::get<PairingRefused>(refused).reason, PairingRefused::Reason::locked);
    EXPECT_EQ(std::get<PairingRefused>(refused).message, auditMessages().front());
    advance(29.4);
    EXPECT_EQ(pair(code).error, "Pairing is temporarily locked. Try again in 1 seconds.");
    advance(1.0);
    EXPECT_EQ(pair(code).error, "Pairing is not active. Start pairing on the Mac and try again.");
    window->startPairingSession();
    EXPECT_TRUE(*window->isPairingActive());
}

TEST_F(PairingTest, SecondStartReplacesTheSessionWithItsNonceAndAttempts) {
    window->startPairingSession();
    const std::string firstNonce = linkValue("nonce");
    EXPECT_EQ(pair(wrongCode()).error, "The pairing code is incorrect. 2 attempts remaining.");

    window->startPairingSession();
    ASSERT_NE(linkValue("nonce"), firstNonce);
    // The attempt count starts again: one more wrong code leaves two.
    EXPECT_EQ(pair(wrongCode()).error, "The pairing code is incorrect. 2 attempts remaining.");
    // The first session's nonce is worthless even with the new code.
    EXPECT_EQ(pair(*window->pairingCode(), phoneFingerprint, firstNonce).error,
              "The pairing code is incorrect. 1 attempts remaining.");
    EXPECT_TRUE(pair(*window->pairingCode(), phoneFingerprint, linkValue("nonce")).ok);
}

TEST_F(PairingTest, CorrectCodePairsOnceAndTheDeviceSurvivesARestart) {
    window->startPairingSession();
    const std::string code = *window->pairingCode();
    auto reply = pair(" " + code.substr(0, 3) + "-" + code.substr(3) + " ", "AA:" + phoneFingerprint.substr(2));
    ASSERT_TRUE(reply.ok) << reply.error.value_or("");
    EXPECT_EQ(reply.token, "");
    EXPECT_EQ(reply.clientCertificateFingerprint, phoneFingerprint);
    EXPECT_FALSE(*window->isPairingActive());
    EXPECT_EQ(auditMessages().front(), "Paired client aaaaaa...aaaaaa.");
    ASSERT_EQ(authorizer->pairedDevices()->size(), 1u);
    const auto device = authorizer->pairedDevices()->front();
    EXPECT_EQ(device.displayName, "Anna's iPhone");
    EXPECT_EQ(device.pairedAt, clock.now());
    EXPECT_EQ(device.lastConnectionChannel, Channel::local);

    reply = pair(code, tabletFingerprint);
    EXPECT_EQ(reply.error, "Pairing is not active. Start pairing on the Mac and try again.");
    EXPECT_EQ(authorizer->pairedDevices()->size(), 1u);

    // Re-pairing the same certificate renames it and keeps its pairing date.
    advance(5.0);
    window->startPairingSession();
    reply = pair(*window->pairingCode(), phoneFingerprint, std::nullopt, std::string("   "));
    ASSERT_TRUE(reply.ok);
    ASSERT_EQ(authorizer->pairedDevices()->size(), 1u);
    EXPECT_EQ(authorizer->pairedDevices()->front().displayName, "Unknown Device");
    EXPECT_EQ(authorizer->pairedDevices()->front().pairedAt, device.pairedAt);

    const auto saved = *authorizer->pairedDevices();
    makeWindow();
    EXPECT_EQ(*authorizer->pairedDevices(), saved);
}

TEST_F(PairingTest, CorrectCodeWithoutCertificateKeepsTheSessionOpen) {
    window->startPairingSession();
    const std::string code = *window->pairingCode();
    auto reply = pair(code, std::nullopt);
    EXPECT_EQ(reply.error, "The client certificate is missing.");
    EXPECT_FALSE(reply.errorCode.has_value());
    EXPECT_EQ(auditMessages().front(), "Rejected pairing request without a client certificate.");
    EXPECT_TRUE(*window->isPairingActive());
    EXPECT_TRUE(pair(code, phoneFingerprint).ok);
}

TEST_F(PairingTest, ExpiredCodeIsRefusedAndClosesTheSession) {
    window->startPairingSession();
    const std::string code = *window->pairingCode();
    // Time moves on without the countdown running (a busy main loop).
    clock.advance(120.0);
    const auto reply = pair(code);
    EXPECT_EQ(reply.error, "The pairing code has expired. Start pairing again on the Mac.");
    EXPECT_EQ(auditMessages().front(), "Rejected pairing request because the pairing code expired.");
    EXPECT_FALSE(*window->isPairingActive());
}

TEST_F(PairingTest, QRCodeCarriesTheLinkAndIsKeptOwnerOnlyWhileTheWindowIsOpen) {
    const auto path = platform::dataFolder() / "pairing-qr.png";
    auto image = platform::decodePng(window->pairingQRCode());
    EXPECT_EQ(image.width, 260u) << "blank without a session";

    const auto start = window->startPairingSession();
    ASSERT_TRUE(std::holds_alternative<PairingStarted>(start));
    const auto& started = std::get<PairingStarted>(start);
    EXPECT_EQ(started.code, *window->pairingCode());
    EXPECT_EQ(started.expiresAt, *window->pairingExpiresAt());
    EXPECT_EQ(started.qrImagePath, path);
    const std::string link = *window->pairingLink();
    EXPECT_EQ(started.link, link);
    EXPECT_EQ(link.rfind("zentrabo://pair?service=", 0), 0u);
    EXPECT_NE(link.find("&code=" + *window->pairingCode() + "&nonce="), std::string::npos);

    const auto png = window->pairingQRCode();
    ASSERT_TRUE(started.qrCode.has_value());
    EXPECT_EQ(png, started.qrCode->png(10)) << "the image shows the code of the result";
    struct stat status {};
    ASSERT_EQ(::stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    // Made once for the window: a later change of the link leaves it.
    EXPECT_FALSE(relay->updateRelayHost("relay.example.org"));
    relay->setRelayEnabled(true);
    EXPECT_NE(*window->pairingLink(), link);
    EXPECT_EQ(window->pairingQRCode(), png);

    advance(120.0);
    EXPECT_FALSE(*window->isPairingActive());
    EXPECT_FALSE(std::filesystem::exists(path)) << "the image expires with its window";
}

TEST_F(PairingTest, LinkCarriesTheRelayRouteOnlyWhileRelayIsUsable) {
    window->startPairingSession();
    EXPECT_EQ(linkValue("relayHost"), "") << "relay is off";
    EXPECT_FALSE(relay->updateRelayHost(" https://relay.example.org/tunnel "));
    relay->setRelayEnabled(true);
    EXPECT_EQ(linkValue("relayHost"), "relay.example.org");
    EXPECT_EQ(linkValue("relayPort"), std::to_string(*relay->relayClientPort()));
    EXPECT_EQ(linkValue("relayID"), *relay->relayDeviceID());
    // The address is the machine's own; a namespace with loopback only has none.
    EXPECT_EQ(linkValue("port"), platform::primaryLocalIPv4Address() ? "50123" : "");

    relay->setRelayEnabled(false);
    EXPECT_EQ(window->pairingLink()->find("relay"), std::string::npos);
    listener.setListenerStatus(true, std::nullopt);
    EXPECT_EQ(window->pairingLink()->find("host="), std::string::npos) << "no port, no address either";
    EXPECT_EQ(window->pairingLink()->find("port="), std::string::npos);
}

}  // namespace
}  // namespace zentrabo::testing
