// How a TLS session with the binary ends, seen by a client that checks:
// openssl s_client, with the certificate and the commands of the README.
// It reports a session cut without close_notify as "unexpected eof".
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/binary_harness.hpp"
#include "support/file_text.hpp"

namespace zentrabo::testing {
namespace {

TEST_F(BinaryServerTest, OpensslClientSeesEachSessionEndCleanly) {
    const auto key = home.path() / "device.key";
    const auto certificate = home.path() / "device.crt";
    ASSERT_EQ(
        std::system(("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout " + key.string() +
                     " -out " + certificate.string() + " -days 30 -subj /CN=Laptop >/dev/null 2>&1")
                        .c_str()),
        0);
    const auto window = openPairingWindow();
    ASSERT_FALSE(HasFailure());

    // Pairing, then a ping as the paired device.
    for (const HalvardineRequest& exchange : {pairingRequest(window, "E-1"), deviceRequest("E-2", "ping")}) {
        const auto request = home.path() / "request.json";
        const auto output = home.path() / "output.txt";
        const auto errors = home.path() / "errors.txt";
        std::ofstream(request) << encodeRecord(exchange) << "\n";
        // -quiet waits for the server to end the session after its reply.
        const std::string command = "timeout 20 openssl s_client -connect 127.0.0.1:" + std::to_string(port) +
                                    " -cert " + certificate.string() + " -key " + key.string() + " -quiet <" +
                                    request.string() + " >" + output.string() + " 2>" + errors.string();
        EXPECT_EQ(std::system(command.c_str()), 0) << exchange.action << ": " << fileText(errors);
        EXPECT_NE(fileText(output).find("\"ok\":true"), std::string::npos)
            << exchange.action << ": " << fileText(output);
        EXPECT_EQ(fileText(errors).find("unexpected eof"), std::string::npos)
            << exchange.action << ": " << fileText(errors);
    }
}

}  // namespace
}  // namespace zentrabo::testing
