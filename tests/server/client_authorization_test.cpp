// Client authorization, failure blocking, activity marks, revocation and the
// stored device list on a whole server, with a manual clock.

#include "platform/store/store_files.hpp"
#include "server/sha256_text.hpp"
#include "server_fixture.hpp"

namespace zentrabo::testing {
namespace {

using Channel = HalvardineExtraAuthorizationChannel;

const std::string pairedFingerprint(64, 'a');
const std::string strangerFingerprint(64, 'c');

class ClientAuthorizationTest : public ServerTest {
protected:
    void SetUp() override {
        ServerTest::SetUp();
        server = makeServer();
        server->listener().setListenerStatus(true, 50123);
        pairCertificate(pairedFingerprint);
    }

    // Opens a pairing window and pairs the certificate through a "pair" request.
    void pairCertificate(const std::string& fingerprint) {
        server->startPairingSession();
        HalvardineRequest request;
        request.id = "pair";
        request.action = "pair";
        request.pairingCode = *server->pairingCode();
        request.clientName = "Phone";
        ASSERT_TRUE(server->handlePairRequest(request, fingerprint, Channel::local).ok);
    }

    void advance(double seconds) {
        clock.advance(seconds);
        mainLoop.runReady();
    }

    std::string lastAudit() const { return server->securityAuditEvents()->front().message; }

    std::shared_ptr<HalvardineServer> server;
};

TEST_F(ClientAuthorizationTest, PairedFingerprintInAnyNotationIsAuthorizedAndMarkedActive) {
    std::string colons;
    for (std::size_t index = 0; index < 64; index += 2) colons += (index ? ":" : "") + std::string("AA");
    EXPECT_EQ(server->authorizeClient(colons, Channel::relay), pairedFingerprint);
    EXPECT_TRUE(*server->hasRecentAuthorizedClientActivity());
    EXPECT_EQ(server->activeClientConnectionChannels()->at(pairedFingerprint), Channel::relay);
    EXPECT_EQ(server->pairedDevices()->front().lastSeenAt, clock.now());
    EXPECT_EQ(server->pairedDevices()->front().lastConnectionChannel, Channel::relay);

    advance(15.0);
    server->authorizeClient(pairedFingerprint, Channel::local);
    advance(19.0);
    EXPECT_TRUE(server->activeClientCertificateFingerprints()->contains(pairedFingerprint));
    advance(1.0);
    EXPECT_FALSE(*server->hasRecentAuthorizedClientActivity());
    EXPECT_TRUE(server->activeClientConnectionChannels()->empty());
}

TEST_F(ClientAuthorizationTest, UnpairedCertificateIsBlockedFromTheEighthFailureUntilTheWindowPasses) {
    for (int attempt = 1; attempt <= 7; ++attempt) {
        EXPECT_EQ(server->authorizeClient(strangerFingerprint, Channel::local), std::nullopt);
        EXPECT_EQ(lastAudit(), "Rejected request from unpaired client cccccc...cccccc.");
        advance(1.0);
    }
    server->authorizeClient(strangerFingerprint, Channel::local);
    EXPECT_EQ(lastAudit(),
              "Rejected request from unpaired client cccccc...cccccc. Further requests are temporarily blocked.");
    EXPECT_EQ(server->securityAuditEvents()->front().fingerprint, strangerFingerprint);
    server->authorizeClient(strangerFingerprint, Channel::local);
    EXPECT_EQ(lastAudit(), "Blocked request after repeated authorization failures.");

    // Pairing now does not help while the failures lie in the window.
    pairCertificate(strangerFingerprint);
    EXPECT_EQ(server->authorizeClient(strangerFingerprint, Channel::local), std::nullopt);

    // The first failure was 7 s before the eighth: after 60 s it leaves and 7 remain.
    advance(60.0 - 7.0 + 0.5);
    EXPECT_EQ(server->authorizeClient(strangerFingerprint, Channel::local), strangerFingerprint);
}

TEST_F(ClientAuthorizationTest, ClientsWithoutACertificateShareOneKey) {
    for (int attempt = 1; attempt <= 8; ++attempt) server->authorizeClient(std::nullopt, Channel::local);
    EXPECT_EQ(lastAudit(), "Rejected request without a client certificate. Further requests are temporarily blocked.");
    EXPECT_FALSE(server->securityAuditEvents()->front().fingerprint.has_value());
    server->authorizeClient(std::string(" "), Channel::relay);
    EXPECT_EQ(lastAudit(), "Blocked request after repeated authorization failures.");
    EXPECT_EQ(server->authorizeClient(pairedFingerprint, Channel::local), pairedFingerprint)
        << "a certificate has a key of its own";
}

TEST_F(ClientAuthorizationTest, SuccessForgivesOnlyTheFailuresOfItsOwnCertificate) {
    for (int attempt = 1; attempt <= 7; ++attempt) {
        server->authorizeClient(strangerFingerprint, Channel::local);
        server->authorizeClient(std::nullopt, Channel::local);
    }
    pairCertificate(strangerFingerprint);
    ASSERT_EQ(server->authorizeClient(strangerFingerprint, Channel::local), strangerFingerprint);

    // Unpaired again, the certificate starts counting from one.
    server->revokePairedDevice(strangerFingerprint);
    server->authorizeClient(strangerFingerprint, Channel::local);
    EXPECT_EQ(lastAudit(), "Rejected request from unpaired client cccccc...cccccc.");
    server->authorizeClient(std::nullopt, Channel::local);
    EXPECT_EQ(lastAudit(), "Rejected request without a client certificate. Further requests are temporarily blocked.");
}

TEST_F(ClientAuthorizationTest, LastSeenUpdatesAreBatchedNotFlushedPerRequest) {
    const auto file = platform::UserDefaults::filePath();
    std::string contents;
    ASSERT_FALSE(platform::readStoreFile(file, contents));
    for (int request = 0; request < 5; ++request) server->authorizeClient(pairedFingerprint, Channel::local);
    std::string unchanged;
    ASSERT_FALSE(platform::readStoreFile(file, unchanged));
    EXPECT_EQ(unchanged, contents) << "nothing written before the batch runs";
    advance(1.0);
    server.reset();
    server = makeServer();
    EXPECT_EQ(server->pairedDevices()->front().lastSeenAt, clock.now() - 1.0);
}

TEST_F(ClientAuthorizationTest, RevokingRemovesTheDeviceItsMarksAndLogsWithoutAudit) {
    server->authorizeClient(pairedFingerprint, Channel::local);
    const std::size_t audited = server->securityAuditEvents()->size();
    server->revokePairedDevice("  AA" + pairedFingerprint.substr(2) + "\n");
    EXPECT_TRUE(server->pairedDevices()->empty());
    EXPECT_FALSE(*server->hasRecentAuthorizedClientActivity());
    EXPECT_EQ(server->securityAuditEvents()->size(), audited);
    EXPECT_NE(home.logText().find("Revoked paired device " + pairedFingerprint), std::string::npos);
    EXPECT_EQ(server->authorizeClient(pairedFingerprint, Channel::local), std::nullopt);

    server.reset();
    server = makeServer();
    EXPECT_TRUE(server->pairedDevices()->empty());
}

TEST(Sha256Text, HexOfTheUtf8Bytes) {
    EXPECT_EQ(sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

}  // namespace
}  // namespace zentrabo::testing
