#include <filesystem>
#include <fstream>
#include <sstream>

#include <ctime>

#include <openssl/asn1.h>
#include <openssl/x509.h>

#include <gtest/gtest.h>

#include "platform/store/key_store.hpp"
#include "platform/text/base64.hpp"
#include "security/halvardine_security_error.hpp"
#include "security_fixture.hpp"
#include "support/file_text.hpp"
#include "tls_loopback.hpp"

namespace zentrabo {
namespace {

using platform::KeyStore;

using testing::fileText;

const std::string serverCopyKey = "org.zentrabo.Halvardine.tls.server.certificate";

class TlsIdentityTest : public testing::SecurityFixture {
protected:
    KeyStore store;

    std::size_t certificateCount(bool server) {
        std::vector<platform::Certificate> certificates;
        (void)store.findCertificates(HalvardineSecurity::identityLabel(server), certificates);
        return certificates.size();
    }
};

TEST_F(TlsIdentityTest, IdentitySurvivesARestart) {
    const TlsIdentity first = security.loadOrCreateIdentity(true);
    EXPECT_EQ(first.fingerprint.size(), 64u);
    EXPECT_EQ(first.fingerprint, HalvardineSecurity::fingerprint(first.certificate));
    EXPECT_TRUE(first.privateKey.matchesPublicKey(first.certificate.publicKey()));
    EXPECT_EQ(certificateCount(true), 1u);
    EXPECT_EQ(defaults->data(serverCopyKey), first.certificate.der());
    std::tm notBefore{};
    ASSERT_EQ(ASN1_TIME_to_tm(X509_get0_notBefore(first.certificate.native()), &notBefore), 1);
    EXPECT_EQ(timegm(&notBefore), 978307200 + 800000000 - 3600);  // the injected clock's time

    restart();
    const TlsIdentity second = security.loadOrCreateIdentity(true);
    EXPECT_EQ(second.fingerprint, first.fingerprint);
    EXPECT_EQ(certificateCount(true), 1u);
    EXPECT_EQ(HalvardineSecurity::identityLabel(true), "Zentrabo Server TLS Identity");
    EXPECT_EQ(HalvardineSecurity::identityLabel(false), "Zentrabo Client TLS Identity");
}

TEST_F(TlsIdentityTest, RolesNeverShareAKeyOrCertificate) {
    const TlsIdentity server = security.loadOrCreateIdentity(true);
    const TlsIdentity client = security.loadOrCreateIdentity(false);
    EXPECT_NE(server.fingerprint, client.fingerprint);
    EXPECT_NE(server.privateKey.publicKeyX963(), client.privateKey.publicKeyX963());
    EXPECT_NE(
        fileText(home.path() / ".config/zentrabo/defaults.json").find("org.zentrabo.Halvardine.tls.client.certificate"),
        std::string::npos);
    EXPECT_EQ(security.loadOrCreateIdentity(false).fingerprint, client.fingerprint);
}

TEST_F(TlsIdentityTest, LostCertificateItemIsRepairedFromTheCopy) {
    const TlsIdentity first = security.loadOrCreateIdentity(true);
    ASSERT_EQ(store.deleteCertificates(HalvardineSecurity::identityLabel(true)), platform::KeyStoreStatus::success);
    restart();
    EXPECT_EQ(security.loadOrCreateIdentity(true).fingerprint, first.fingerprint);
    EXPECT_EQ(certificateCount(true), 1u);
}

TEST_F(TlsIdentityTest, LostCopyIsWrittenAgain) {
    const TlsIdentity first = security.loadOrCreateIdentity(true);
    defaults->remove(serverCopyKey);
    restart();
    EXPECT_EQ(security.loadOrCreateIdentity(true).fingerprint, first.fingerprint);
    EXPECT_EQ(defaults->data(serverCopyKey), first.certificate.der());
}

TEST_F(TlsIdentityTest, LostKeyMakesANewIdentity) {
    const TlsIdentity first = security.loadOrCreateIdentity(true);
    // Keep only the certificates: the key store without the server's key.
    const std::filesystem::path keyStore = KeyStore::filePath();
    std::vector<platform::Certificate> certificates;
    ASSERT_EQ(store.findCertificates(HalvardineSecurity::identityLabel(true), certificates),
              platform::KeyStoreStatus::success);
    std::filesystem::remove(keyStore);
    for (const auto& certificate : certificates) {
        ASSERT_EQ(store.addCertificate(HalvardineSecurity::identityLabel(true), certificate),
                  platform::KeyStoreStatus::success);
    }

    restart();
    const TlsIdentity second = security.loadOrCreateIdentity(true);
    EXPECT_NE(second.fingerprint, first.fingerprint);
    std::vector<platform::Certificate> remaining;
    ASSERT_EQ(store.findCertificates(HalvardineSecurity::identityLabel(true), remaining),
              platform::KeyStoreStatus::success);
    ASSERT_EQ(remaining.size(), 1u);
    EXPECT_EQ(remaining[0].der(), second.certificate.der());
    EXPECT_EQ(defaults->data(serverCopyKey), second.certificate.der());
}

TEST_F(TlsIdentityTest, UnreadableKeyStoreIsAnErrorAndNeverReplaced) {
    const TlsIdentity first = security.loadOrCreateIdentity(true);
    const std::string original = fileText(KeyStore::filePath());
    const std::string damaged = original.substr(0, original.size() / 2);
    { std::ofstream(KeyStore::filePath(), std::ios::binary | std::ios::trunc) << damaged; }

    restart();
    for (const bool server : {true, false}) {
        try {
            (void)security.loadOrCreateIdentity(server);
            FAIL() << "expected HalvardineSecurityError";
        } catch (const HalvardineSecurityError& error) {
            EXPECT_EQ(error.errorCase(), HalvardineSecurityError::Case::identityUnavailable);
            EXPECT_EQ(std::string(error.what()).rfind("Secure identity unavailable: ", 0), 0u);
        }
    }
    EXPECT_EQ(fileText(KeyStore::filePath()), damaged);
    EXPECT_EQ(defaults->data(serverCopyKey), first.certificate.der());

    // Once the file is whole again, the old identity is back.
    { std::ofstream(KeyStore::filePath(), std::ios::binary | std::ios::trunc) << original; }
    EXPECT_EQ(security.loadOrCreateIdentity(true).fingerprint, first.fingerprint);
}

TEST_F(TlsIdentityTest, RealParametersConnectAndPin) {
    const std::string serverFingerprint = security.loadOrCreateIdentity(true).fingerprint;
    const std::string clientFingerprint = security.loadOrCreateIdentity(false).fingerprint;
    const auto pinned = testing::runLoopback(
        security.serverParameters(), testing::clientWith(security.clientParameters("  " + serverFingerprint + "\n")));
    EXPECT_FALSE(pinned.server.handshakeError);
    EXPECT_EQ(pinned.client.received, testing::serverGreeting);
    EXPECT_EQ(pinned.server.peerFingerprint, clientFingerprint);
    EXPECT_EQ(pinned.client.peerFingerprint, serverFingerprint);

    std::string wrong = serverFingerprint;
    wrong[0] = wrong[0] == '0' ? '1' : '0';
    const auto refused =
        testing::runLoopback(security.serverParameters(), testing::clientWith(security.clientParameters(wrong)));
    EXPECT_TRUE(refused.client.handshakeError);
    EXPECT_TRUE(refused.server.handshakeError);
}

TEST_F(TlsIdentityTest, NoSecretReachesTheLog) {
    const TlsIdentity identity = security.loadOrCreateIdentity(true);
    (void)security.loadOrCreateIdentity(false);
    const std::string key = platform::base64Encode(identity.privateKey.toPkcs8Der());
    const std::string log = home.logText();
    EXPECT_EQ(log.find(key), std::string::npos);
    EXPECT_EQ(log.find(key.substr(key.size() / 2, 24)), std::string::npos);
}

}  // namespace
}  // namespace zentrabo
