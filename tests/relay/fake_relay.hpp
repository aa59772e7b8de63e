#pragma once

#include <asio.hpp>
#include <asio/ssl.hpp>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "relay/relay_frame.hpp"
#include "test_certificate_authority.hpp"

namespace zentrabo::testing {

// Runs the test thread's io_context until a condition holds; a test that
// would wait longer than the bound fails instead of hanging.
class TestLoop {
public:
    explicit TestLoop(asio::io_context& io) : io_(io) {}
    asio::io_context& io() { return io_; }

    template <typename Predicate>
    bool until(Predicate done, std::chrono::seconds bound = std::chrono::seconds(20)) {
        const auto deadline = std::chrono::steady_clock::now() + bound;
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) {
                ADD_FAILURE() << "timed out waiting";
                return false;
            }
            io_.run_one_for(std::chrono::milliseconds(10));
        }
        return true;
    }

private:
    asio::io_context& io_;
};

struct FakeRelayFrame {
    RelayFrameType type = RelayFrameType::data;
    RelayTunnelID tunnelID{};
    std::string payload;
};

// One control connection as the relay sees it.
class FakeRelayConnection {
public:
    FakeRelayConnection(TestLoop& loop, asio::ssl::stream<asio::ip::tcp::socket> stream);

    // The registration line without its line feed; none when the connection ended first.
    std::optional<std::string> readLine();
    std::optional<FakeRelayFrame> readFrame();
    void write(const std::vector<std::uint8_t>& bytes);
    void writeFrame(RelayFrameType type, const RelayTunnelID& tunnelID, const std::string& payload = {});
    // True once the connector has dropped the connection.
    bool waitForEnd();
    void close();

private:
    bool read(asio::mutable_buffer buffer);

    TestLoop& loop_;
    asio::ssl::stream<asio::ip::tcp::socket> stream_;
    std::string pending_;
};

// A relay on 127.0.0.1 with a certificate of its own test authority.
class FakeRelay {
public:
    FakeRelay(TestLoop& loop, const TestCertificateAuthority& authority);

    std::uint16_t port() const { return acceptor_.local_endpoint().port(); }
    // Accepts the next control connection and completes its TLS handshake;
    // none when the handshake fails.
    std::unique_ptr<FakeRelayConnection> accept();
    // Accepts a TCP connection and never answers it.
    asio::ip::tcp::socket acceptSilently();

private:
    TestLoop& loop_;
    asio::ssl::context tls_;
    asio::ip::tcp::acceptor acceptor_;
};

}  // namespace zentrabo::testing
