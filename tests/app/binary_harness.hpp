#pragma once
// The zentrabo-server binary driven as its user and a phone drive it: the
// terminal on its standard input and output, requests over TLS on loopback
// from a device with a certificate of its own. Every wait has a deadline and
// the child is killed when a test ends early.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>

#include "model/json/record_decoder.hpp"
#include "model/json/record_encoder.hpp"
#include "model/records/halvardine_request.hpp"
#include "support/device_request.hpp"
#include "model/records/halvardine_response.hpp"
#include "security/halvardine_security.hpp"
#include "server/request_client.hpp"
#include "support/server_process.hpp"
#include "support/temporary_home.hpp"

namespace zentrabo::testing {

// A phone: a fresh key and a self-signed certificate made by the project's
// own security code and kept in memory, so nothing of it lands in the
// server's key store.
class TestDevice {
public:
    static constexpr auto replyDeadline = std::chrono::seconds(20);

    TestDevice()
        : key_(platform::EcPrivateKey::generate()),
          certificate_(HalvardineSecurity::makeSelfSignedCertificate(key_, "Zentrabo Test Device")),
          fingerprint_(HalvardineSecurity::fingerprint(certificate_)) {}

    const std::string& fingerprint() const { return fingerprint_; }

    // Sends the request to the server on the port, accepting only the server
    // of the pinned fingerprint, and returns the reply line without its line
    // feed; none when no whole line arrives in time.
    std::optional<std::string> exchange(std::uint16_t port, std::string_view pin,
                                        const HalvardineRequest& request) const {
        const auto received = exchangeBytes(port, pin, encodeRecord(request) + "\n", [](std::string_view bytes) {
            return bytes.find('\n') != std::string_view::npos;
        });
        if (!received) return std::nullopt;
        const auto lineEnd = received->find('\n');
        EXPECT_EQ(lineEnd, received->size() - 1) << "bytes after the reply line";
        return received->substr(0, lineEnd);
    }

    // Sends the bytes as they are and returns everything the server sent once
    // `complete` accepts it; none when the server closes or the deadline
    // passes first.
    std::optional<std::string> exchangeBytes(std::uint16_t port, std::string_view pin, std::string bytes,
                                             const std::function<bool(std::string_view)>& complete) const {
        auto context = HalvardineSecurity::tlsParameters(platform::TlsRole::client,
                                                         TlsIdentity{key_, certificate_, fingerprint_}, pin);
        RequestClient client(port, std::move(context), {std::move(bytes)});
        const auto end = std::chrono::steady_clock::now() + replyDeadline;
        while (std::chrono::steady_clock::now() < end) {
            // Asked before the bytes are read, so that bytes arriving with the
            // close are still seen.
            const bool finished = client.finished();
            std::string received = client.exchange().received();
            if (complete(received)) return received;
            if (finished) return std::nullopt;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return std::nullopt;
    }

private:
    platform::EcPrivateKey key_;
    platform::Certificate certificate_;
    std::string fingerprint_;
};

// The value of one item of a link's query, as written (our links'
// fingerprints, nonces and ports need no decoding); none when absent.
inline std::optional<std::string> queryValue(std::string_view link, std::string_view name) {
    const auto query = link.find('?');
    if (query == std::string_view::npos) return std::nullopt;
    std::string_view rest = link.substr(query + 1);
    while (!rest.empty()) {
        const auto end = rest.find('&');
        const std::string_view item = rest.substr(0, end);
        if (item.size() > name.size() && item.substr(0, name.size()) == name && item[name.size()] == '=') {
            return std::string(item.substr(name.size() + 1));
        }
        if (end == std::string_view::npos) break;
        rest.remove_prefix(end + 1);
    }
    return std::nullopt;
}

class BinaryServerTest : public ::testing::Test {
protected:
    // How long a terminal command may take to answer.
    static constexpr auto terminalDeadline = std::chrono::seconds(20);

    void SetUp() override { startProcess(); }

    // Starts the binary on the temporary home and reads its start lines.
    void startProcess() {
        process = std::make_unique<ServerProcess>();
        ASSERT_GT(process->pid(), 0);
        const auto start = process->readStartLines();
        ASSERT_TRUE(start) << "no start lines; errors: " << process->errorText();
        serverVersion = start->version;
        port = start->port;
        serverFingerprint = start->fingerprint;
        ASSERT_EQ(serverFingerprint.size(), 64u);
    }

    // Stops the binary as a user would and starts it again on the same home.
    void restartProcess() {
        ASSERT_EQ(kill(process->pid(), SIGTERM), 0);
        const auto status = process->waitForExit();
        ASSERT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << "no clean stop";
        startProcess();
    }

    // The device's request, answered by the server of the start lines.
    HalvardineResponse send(const TestDevice& device, const HalvardineRequest& request) {
        const auto line = device.exchange(port, serverFingerprint, request);
        EXPECT_TRUE(line) << "no reply to " << request.action;
        if (!line) return HalvardineResponse{};
        auto response = decodeRecord<HalvardineResponse>(*line);
        EXPECT_EQ(response.id, request.id);
        return response;
    }

    // What "pair" on the terminal shows: the code, and the link a phone
    // scans, which names the nonce, the port and the server's fingerprint.
    struct PairingWindow {
        std::string code;
        std::string link;
    };
    PairingWindow openPairingWindow() {
        EXPECT_TRUE(process->writeLine("pair"));
        const auto code = process->readLineStartingWith("Pairing code: ", terminalDeadline);
        const auto link = process->readLineStartingWith("Pairing link: ", terminalDeadline);
        EXPECT_TRUE(code && link) << "no pairing window";
        if (!code || !link) return {};
        return {code->substr(std::string_view("Pairing code: ").size()),
                link->substr(std::string_view("Pairing link: ").size())};
    }

    // The "pair" request a phone sends after scanning the link.
    HalvardineResponse pair(const TestDevice& device, const PairingWindow& window, std::string id) {
        auto pairing = deviceRequest(std::move(id), "pair");
        pairing.pairingCode = window.code;
        pairing.pairingNonce = queryValue(window.link, "nonce");
        pairing.clientName = "Test Phone";
        return send(device, pairing);
    }

    // Pairs the device through a fresh pairing window.
    void pairDevice(const TestDevice& device) {
        const auto response = pair(device, openPairingWindow(), "PAIR");
        ASSERT_TRUE(response.ok) << response.error.value_or("");
    }

    TemporaryHome home;
    // After the home: made with its environment, killed before it goes.
    std::unique_ptr<ServerProcess> process;
    std::string serverVersion;  // "<version> (<build>)"
    std::uint16_t port = 0;
    std::string serverFingerprint;
};

}  // namespace zentrabo::testing
