#pragma once
// A running server on loopback with a manual clock, and devices that talk to
// it over real TLS: the paired one of the temporary home, or strangers with
// certificates of their own.
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <asio/co_spawn.hpp>

#include "model/json/model_record_json.hpp"
#include "platform/net/tls_connection.hpp"
#include "platform/crypto/ec_private_key.hpp"
#include "support/request_client.hpp"
#include "loopback_server_fixture.hpp"

namespace zentrabo::testing {

// A device that sends the pieces and then hangs up its side of the
// connection, on a thread of its own; the exchange finishes when the server
// has closed.
inline asio::awaitable<void> sendAndHangUp(std::uint16_t port, std::shared_ptr<platform::TlsContext> context,
                                           std::vector<std::string> pieces, std::shared_ptr<ClientExchange> exchange) {
    asio::ip::tcp::socket socket(co_await asio::this_coro::executor);
    std::error_code error;
    socket.connect({asio::ip::make_address("127.0.0.1"), port}, error);
    platform::TlsConnection connection(std::move(socket), std::move(context));
    if (!error) error = co_await connection.handshake();
    for (const auto& piece : pieces) {
        if (!error) error = co_await connection.writeAll(asio::buffer(piece));
    }
    if (!error) connection.socket().shutdown(asio::ip::tcp::socket::shutdown_send, error);
    std::vector<char> buffer(4096);
    while (!error) {
        auto [readError, count] = co_await connection.readSome(asio::buffer(buffer));
        exchange->append(buffer.data(), count);
        error = readError;
    }
    connection.close();
    exchange->finished = true;
}

class RequestRoadTest : public LoopbackServerTest {
protected:
    using Channel = HalvardineExtraAuthorizationChannel;

    // The device of the temporary home (paired by pairThisClient).
    std::unique_ptr<RequestClient> connect(std::vector<std::string> pieces) {
        return std::make_unique<RequestClient>(port, security().clientParameters(std::nullopt), std::move(pieces));
    }

    // A device with a certificate of its own, never paired.
    std::unique_ptr<RequestClient> connectStranger(std::vector<std::string> pieces) {
        if (!strangerContext) {
            auto key = platform::EcPrivateKey::generate();
            auto certificate = HalvardineSecurity::makeSelfSignedCertificate(key, "Stranger");
            auto fingerprint = HalvardineSecurity::fingerprint(certificate);
            strangerContext = HalvardineSecurity::tlsParameters(
                platform::TlsRole::client, TlsIdentity{std::move(key), std::move(certificate), std::move(fingerprint)},
                std::nullopt);
        }
        return std::make_unique<RequestClient>(port, strangerContext, std::move(pieces));
    }

    // Waits until the server has sent bytes the condition accepts, closes
    // the connection by advancing the clock by closeDelay, and returns what
    // arrived.
    template <typename Complete>
    std::string receiveUntilClosed(RequestClient& client, Complete complete, double closeDelay) {
        EXPECT_TRUE(runMainLoopUntil([&] { return complete(client.exchange().received()) || client.finished(); }));
        EXPECT_FALSE(client.finished()) << "closed before the delay";
        EXPECT_TRUE(advanceUntilClosed(client, closeDelay));
        return client.exchange().received();
    }

    // Sends the request and returns the reply line as it arrived; the
    // server closes one second after the reply went out.
    std::string exchange(std::unique_ptr<RequestClient> client) {
        return receiveUntilClosed(
            *client, [](const std::string& received) { return received.find('\n') != std::string::npos; },
            ServerConnection::closeDelayAfterReply);
    }
    std::string exchange(std::vector<std::string> pieces) { return exchange(connect(std::move(pieces))); }

    // A ping padded with spaces to exactly the length given.
    static std::string paddedPing(std::size_t length, std::string_view id = "L-1") {
        std::string line = R"({"id":")" + std::string(id) + R"(","action":"ping")";
        line.append(length - line.size() - 1, ' ');
        return line + "}";
    }

    static HalvardineResponse reply(const std::string& line) {
        EXPECT_EQ(line.find('\n'), line.size() - 1) << "one line feed, at the end";
        return decodeRecord<HalvardineResponse>(std::string_view(line).substr(0, line.size() - 1));
    }

    // Sets the extra-authorization password and protects the scope on local
    // connections; false when the password could not be set.
    bool protectLocalScope(HalvardineExtraAuthorizationScope scope, const std::string& password) {
        auto passwordSet = std::make_shared<bool>(false);
        server->extraAuthorization().updatePassword(std::nullopt, password,
                                                    [passwordSet](std::exception_ptr error) { *passwordSet = !error; });
        if (!runMainLoopUntil([&] { return *passwordSet; })) return false;
        server->extraAuthorization().setScope(scope, true, Channel::local);
        return true;
    }

    // How often the log holds the text.
    std::size_t logCount(std::string_view text) const { return home.logCount(text); }

    std::shared_ptr<platform::TlsContext> strangerContext;
};

}  // namespace zentrabo::testing
