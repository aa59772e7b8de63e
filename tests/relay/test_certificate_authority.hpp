#pragma once

#include <string>
#include <vector>

namespace zentrabo::testing {

// A certificate authority made for one test run, and a server certificate it
// issued, all in PEM.
struct TestCertificateAuthority {
    std::string authorityPEM;
    std::string serverCertificatePEM;
    std::string serverKeyPEM;

    // subjectAlternativeNames in OpenSSL's form: "DNS:localhost,IP:127.0.0.1".
    static TestCertificateAuthority make(const std::string& subjectAlternativeNames);
};

}  // namespace zentrabo::testing
