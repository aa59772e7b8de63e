#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>

#include <openssl/asn1.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <gtest/gtest.h>

#include "platform/crypto/digest.hpp"
#include "platform/crypto/ec_private_key.hpp"
#include "security/halvardine_security.hpp"
#include "security/halvardine_security_error.hpp"

namespace zentrabo {
namespace {

using platform::Certificate;
using platform::EcPrivateKey;
using Clock = HalvardineSecurity::Clock;

Clock::time_point utc(int year, int month, int day, int hour) {
    std::tm calendar{};
    calendar.tm_year = year - 1900;
    calendar.tm_mon = month - 1;
    calendar.tm_mday = day;
    calendar.tm_hour = hour;
    return Clock::from_time_t(timegm(&calendar));
}

// What the openssl command line prints for the certificate.
std::string opensslText(const Certificate& certificate) {
    const auto path =
        std::filesystem::temp_directory_path() / ("zentrabo-certificate-" + certificate.sha256Fingerprint() + ".der");
    {
        std::ofstream file(path, std::ios::binary);
        file.write(reinterpret_cast<const char*>(certificate.der().data()),
                   static_cast<std::streamsize>(certificate.der().size()));
    }
    const std::string command = "openssl x509 -inform DER -noout -text -in '" + path.string() + "'";
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        std::size_t count = 0;
        while ((count = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, count);
        pclose(pipe);
    }
    std::filesystem::remove(path);
    return output;
}

TEST(SelfSignedCertificate, IsAcceptedByOpenSsl) {
    const EcPrivateKey key = EcPrivateKey::generate();
    const Certificate certificate =
        HalvardineSecurity::makeSelfSignedCertificate(key, "Zentrabo Server", utc(2026, 12, 7, 5));

    // OpenSSL parses it, its self-signature verifies, and it carries our key.
    EXPECT_EQ(X509_verify(certificate.native(), certificate.publicKey()), 1);
    EXPECT_TRUE(key.matchesPublicKey(certificate.publicKey()));
    EXPECT_EQ(X509_get_version(certificate.native()), 2);  // version 3
    EXPECT_EQ(X509_check_ca(certificate.native()), 0);

    const std::string text = opensslText(certificate);
    for (const char* expected :
         {"Version: 3 (0x2)", "Signature Algorithm: ecdsa-with-SHA256", "Issuer: CN = Zentrabo Server",
          "Subject: CN = Zentrabo Server", "Not Before: Dec  7 04:00:00 2026 GMT",
          "Not After : Dec  4 05:00:00 2036 GMT", "ASN1 OID: prime256v1", "X509v3 Basic Constraints: critical",
          "CA:FALSE", "X509v3 Key Usage: critical", "Digital Signature",
          "TLS Web Server Authentication, TLS Web Client Authentication"}) {
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
    }
    EXPECT_EQ(text.find("X509v3 Extended Key Usage: critical"), std::string::npos);
}

TEST(SelfSignedCertificate, ExpiryFrom2050IsAGeneralizedTime) {
    const EcPrivateKey key = EcPrivateKey::generate();
    const Certificate certificate =
        HalvardineSecurity::makeSelfSignedCertificate(key, "Zentrabo Client", utc(2045, 6, 1, 12));
    EXPECT_EQ(ASN1_STRING_type(X509_get0_notBefore(certificate.native())), V_ASN1_UTCTIME);
    EXPECT_EQ(ASN1_STRING_type(X509_get0_notAfter(certificate.native())), V_ASN1_GENERALIZEDTIME);
    EXPECT_NE(opensslText(certificate).find("Not After : May 30 12:00:00 2055 GMT"), std::string::npos);
    EXPECT_EQ(X509_verify(certificate.native(), certificate.publicKey()), 1);
}

TEST(SelfSignedCertificate, FingerprintIsTheSha256OfTheDerBytes) {
    const Certificate certificate =
        HalvardineSecurity::makeSelfSignedCertificate(EcPrivateKey::generate(), "Zentrabo Server");
    const std::string fingerprint = HalvardineSecurity::fingerprint(certificate);
    EXPECT_EQ(fingerprint, platform::sha256Hex(certificate.der()));
    ASSERT_EQ(fingerprint.size(), 64u);
    EXPECT_EQ(fingerprint.find_first_not_of("0123456789abcdef"), std::string::npos);
}

TEST(SelfSignedCertificate, EachCertificateHasItsOwnSerial) {
    const EcPrivateKey key = EcPrivateKey::generate();
    const Certificate first = HalvardineSecurity::makeSelfSignedCertificate(key, "Zentrabo Server");
    const Certificate second = HalvardineSecurity::makeSelfSignedCertificate(key, "Zentrabo Server");
    EXPECT_NE(ASN1_INTEGER_cmp(X509_get0_serialNumber(first.native()), X509_get0_serialNumber(second.native())), 0);
}

TEST(Certificate, RefusesAnythingButExactlyOneCertificate) {
    const Certificate certificate =
        HalvardineSecurity::makeSelfSignedCertificate(EcPrivateKey::generate(), "Zentrabo Server");
    platform::Bytes trailing = certificate.der();
    trailing.push_back(0x00);
    EXPECT_FALSE(Certificate::fromDer(trailing).has_value());
    platform::Bytes truncated(certificate.der().begin(), certificate.der().end() - 1);
    EXPECT_FALSE(Certificate::fromDer(truncated).has_value());
    EXPECT_FALSE(Certificate::fromDer({}).has_value());
    const auto again = Certificate::fromDer(certificate.der());
    ASSERT_TRUE(again.has_value());
    EXPECT_EQ(again->sha256Fingerprint(), certificate.sha256Fingerprint());
}

}  // namespace
}  // namespace zentrabo
