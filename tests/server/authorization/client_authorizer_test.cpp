// Client authorization, failure blocking, activity marks, revocation and the
// stored device list on the authorizer alone, with a manual clock.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "platform/dispatch/main_loop.hpp"
#include "platform/dispatch/manual_clock.hpp"
#include "platform/store/store_files.hpp"
#include "platform/store/user_defaults.hpp"
#include "server/authorization/client_authorizer.hpp"
#include "support/idle_screen_streams.hpp"
#include "support/temporary_home.hpp"

namespace zentrabo::testing {
namespace {

using Channel = HalvardineExtraAuthorizationChannel;

const std::string pairedFingerprint(64, 'a');
const std::string strangerFingerprint(64, 'c');

class ClientAuthorizationTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The log appends only into an existing folder, as after installation.
        std::filesystem::create_directories(home.logFolder());
        authorizer = makeAuthorizer();
        pairCertificate(pairedFingerprint);
    }

    // An authorizer on a fresh view of the settings, as after a restart.
    std::unique_ptr<ClientAuthorizer> makeAuthorizer() {
        defaults = platform::UserDefaults::create(clock, mainLoop.executor(), [](const std::string&) {});
        return std::make_unique<ClientAuthorizer>(clock, mainLoop.executor(), *defaults, streams);
    }

    void pairCertificate(const std::string& fingerprint) {
        authorizer->completePairing(fingerprint, std::string("Phone"), Channel::local);
    }

    void advance(double seconds) {
        clock.advance(seconds);
        mainLoop.runReady();
    }

    std::string lastAudit() const { return authorizer->securityAuditEvents()->front().message; }

    TemporaryHome home;
    platform::MainLoop mainLoop;
    platform::ManualClock clock{platform::Date{800'000'000.0}};
    std::shared_ptr<platform::UserDefaults> defaults;
    IdleScreenStreams idleStreams{clock, mainLoop.executor()};
    ScreenStreams& streams = idleStreams.streams;
    std::unique_ptr<ClientAuthorizer> authorizer;
};

TEST_F(ClientAuthorizationTest, PairedFingerprintInAnyNotationIsAuthorizedAndMarkedActive) {
    std::string colons;
    for (std::size_t index = 0; index < 64; index += 2) colons += (index ? ":" : "") + std::string("AA");
    EXPECT_EQ(authorizer->authorizeClient(colons, Channel::relay), pairedFingerprint);
    EXPECT_TRUE(*authorizer->hasRecentAuthorizedClientActivity());
    EXPECT_EQ(authorizer->activeClientConnectionChannels()->at(pairedFingerprint), Channel::relay);
    EXPECT_EQ(authorizer->pairedDevices()->front().lastSeenAt, clock.now());
    EXPECT_EQ(authorizer->pairedDevices()->front().lastConnectionChannel, Channel::relay);

    advance(15.0);
    authorizer->authorizeClient(pairedFingerprint, Channel::local);
    advance(19.0);
    EXPECT_TRUE(authorizer->activeClientCertificateFingerprints()->contains(pairedFingerprint));
    advance(1.0);
    EXPECT_FALSE(*authorizer->hasRecentAuthorizedClientActivity());
    EXPECT_TRUE(authorizer->activeClientConnectionChannels()->empty());
}

TEST_F(ClientAuthorizationTest, UnpairedCertificateIsBlockedFromTheEighthFailureUntilTheWindowPasses) {
    for (int attempt = 1; attempt <= 7; ++attempt) {
        EXPECT_EQ(authorizer->authorizeClient(strangerFingerprint, Channel::local), std::nullopt);
        EXPECT_EQ(lastAudit(), "Rejected request from unpaired client cccccc...cccccc.");
        advance(1.0);
    }
    authorizer->authorizeClient(strangerFingerprint, Channel::local);
    EXPECT_EQ(lastAudit(),
              "Rejected request from unpaired client cccccc...cccccc. Further requests are temporarily blocked.");
    EXPECT_EQ(authorizer->securityAuditEvents()->front().fingerprint, strangerFingerprint);
    authorizer->authorizeClient(strangerFingerprint, Channel::local);
    EXPECT_EQ(lastAudit(), "Blocked request after repeated authorization failures.");

    // Pairing now does not help while the failures lie in the window.
    pairCertificate(strangerFingerprint);
    EXPECT_EQ(authorizer->authorizeClient(strangerFingerprint, Channel::local), std::nullopt);

    // The first failure was 7 s before the eighth: after 60 s it leaves and 7 remain.
    advance(60.0 - 7.0 + 0.5);
    EXPECT_EQ(authorizer->authorizeClient(strangerFingerprint, Channel::local), strangerFingerprint);
}

TEST_F(ClientAuthorizationTest, ClientsWithoutACertificateShareOneKey) {
    for (int attempt = 1; attempt <= 8; ++attempt) authorizer->authorizeClient(std::nullopt, Channel::local);
    EXPECT_EQ(lastAudit(), "Rejected request without a client certificate. Further requests are temporarily blocked.");
    EXPECT_FALSE(authorizer->securityAuditEvents()->front().fingerprint.has_value());
    authorizer->authorizeClient(std::string(" "), Channel::relay);
    EXPECT_EQ(lastAudit(), "Blocked request after repeated authorization failures.");
    EXPECT_EQ(authorizer->authorizeClient(pairedFingerprint, Channel::local), pairedFingerprint)
        << "a certificate has a key of its own";
}

TEST_F(ClientAuthorizationTest, SuccessForgivesOnlyTheFailuresOfItsOwnCertificate) {
    for (int attempt = 1; attempt <= 7; ++attempt) {
        authorizer->authorizeClient(strangerFingerprint, Channel::local);
        authorizer->authorizeClient(std::nullopt, Channel::local);
    }
    pairCertificate(strangerFingerprint);
    ASSERT_EQ(authorizer->authorizeClient(strangerFingerprint, Channel::local), strangerFingerprint);

    // Unpaired again, the certificate starts counting from one.
    authorizer->revokePairedDevice(strangerFingerprint);
    authorizer->authorizeClient(strangerFingerprint, Channel::local);
    EXPECT_EQ(lastAudit(), "Rejected request from unpaired client cccccc...cccccc.");
    authorizer->authorizeClient(std::nullopt, Channel::local);
    EXPECT_EQ(lastAudit(), "Rejected request without a client certificate. Further requests are temporarily blocked.");
}

TEST_F(ClientAuthorizationTest, LastSeenUpdatesAreBatchedNotFlushedPerRequest) {
    const auto file = platform::UserDefaults::filePath();
    std::string contents;
    ASSERT_FALSE(platform::readStoreFile(file, contents));
    for (int request = 0; request < 5; ++request) authorizer->authorizeClient(pairedFingerprint, Channel::local);
    std::string unchanged;
    ASSERT_FALSE(platform::readStoreFile(file, unchanged));
    EXPECT_EQ(unchanged, contents) << "nothing written before the batch runs";
    advance(1.0);
    authorizer.reset();
    authorizer = makeAuthorizer();
    EXPECT_EQ(authorizer->pairedDevices()->front().lastSeenAt, clock.now() - 1.0);
}

TEST_F(ClientAuthorizationTest, RevokingRemovesTheDeviceItsMarksAndLogsWithoutAudit) {
    authorizer->authorizeClient(pairedFingerprint, Channel::local);
    const std::size_t audited = authorizer->securityAuditEvents()->size();
    authorizer->revokePairedDevice("  AA" + pairedFingerprint.substr(2) + "\n");
    EXPECT_TRUE(authorizer->pairedDevices()->empty());
    EXPECT_FALSE(*authorizer->hasRecentAuthorizedClientActivity());
    EXPECT_EQ(authorizer->securityAuditEvents()->size(), audited);
    EXPECT_NE(home.logText().find("Revoked paired device " + pairedFingerprint), std::string::npos);
    EXPECT_EQ(authorizer->authorizeClient(pairedFingerprint, Channel::local), std::nullopt);

    authorizer.reset();
    authorizer = makeAuthorizer();
    EXPECT_TRUE(authorizer->pairedDevices()->empty());
}

}  // namespace
}  // namespace zentrabo::testing
