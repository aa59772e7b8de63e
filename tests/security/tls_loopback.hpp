#pragma once

// Runs a real TLS server connection against a client coroutine over
// 127.0.0.1 and reports what each side saw.
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <system_error>

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/experimental/as_tuple.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/use_awaitable.hpp>

#include "platform/net/tls_connection.hpp"
#include "security/halvardine_security.hpp"

namespace zentrabo::testing {

struct SideOutcome {
    bool finished = false;
    std::error_code handshakeError;
    std::optional<std::string> peerFingerprint;
    std::string received;  // what the client read after its handshake
    std::error_code readError;
};

struct LoopbackOutcome {
    SideOutcome server;
    SideOutcome client;
};

// A fresh key and a self-signed certificate for it.
inline TlsIdentity makeIdentity(const char* commonName) {
    auto key = platform::EcPrivateKey::generate();
    auto certificate = HalvardineSecurity::makeSelfSignedCertificate(key, commonName);
    auto fingerprint = HalvardineSecurity::fingerprint(certificate);
    return {std::move(key), std::move(certificate), std::move(fingerprint)};
}

inline constexpr std::string_view serverGreeting = "hello\n";

// The server greets a client that passed its handshake and then closes,
// with close_notify or, when `truncate` is set, by dropping the socket.
inline asio::awaitable<void> serveOnce(asio::ip::tcp::acceptor& acceptor, std::shared_ptr<platform::TlsContext> context,
                                       SideOutcome& outcome, bool truncate) {
    auto [acceptError, socket] = co_await acceptor.async_accept(asio::experimental::as_tuple(asio::use_awaitable));
    if (acceptError) {
        outcome.handshakeError = acceptError;
        outcome.finished = true;
        co_return;
    }
    platform::TlsConnection connection(std::move(socket), context);
    outcome.handshakeError = co_await connection.handshake();
    outcome.peerFingerprint = connection.peerCertificateFingerprint();
    if (!outcome.handshakeError) {
        co_await connection.writeAll(asio::buffer(serverGreeting));
        if (!truncate) co_await connection.shutdown();
    }
    connection.close();
    outcome.finished = true;
}

// Reads until the end of the stream or an error.
inline asio::awaitable<void> readToEnd(platform::TlsConnection& connection, SideOutcome& outcome) {
    char buffer[256];
    for (;;) {
        auto [error, count] = co_await connection.readSome(asio::buffer(buffer));
        outcome.received.append(buffer, count);
        if (error) {
            outcome.readError = error;
            co_return;
        }
    }
}

// A client over our own TLS connection type.
inline asio::awaitable<void> connectWith(asio::ip::tcp::endpoint endpoint,
                                         std::shared_ptr<platform::TlsContext> context, SideOutcome& outcome) {
    asio::ip::tcp::socket socket(co_await asio::this_coro::executor);
    co_await socket.async_connect(endpoint, asio::use_awaitable);
    platform::TlsConnection connection(std::move(socket), context);
    outcome.handshakeError = co_await connection.handshake();
    outcome.peerFingerprint = connection.peerCertificateFingerprint();
    if (!outcome.handshakeError) co_await readToEnd(connection, outcome);
    connection.close();
    outcome.finished = true;
}

using ClientCoroutine = std::function<asio::awaitable<void>(asio::ip::tcp::endpoint, SideOutcome&)>;

inline LoopbackOutcome runLoopback(std::shared_ptr<platform::TlsContext> serverContext, const ClientCoroutine& client,
                                   bool truncate = false) {
    asio::io_context io;
    asio::ip::tcp::acceptor acceptor(io, {asio::ip::make_address("127.0.0.1"), 0});
    LoopbackOutcome outcome;
    asio::co_spawn(io, serveOnce(acceptor, serverContext, outcome.server, truncate), asio::detached);
    asio::co_spawn(io, client(acceptor.local_endpoint(), outcome.client), asio::detached);
    // Both sides end on their own; the bound only keeps a fault from hanging the suite.
    io.run_for(std::chrono::seconds(20));
    return outcome;
}

inline ClientCoroutine clientWith(std::shared_ptr<platform::TlsContext> context) {
    return [context](asio::ip::tcp::endpoint endpoint, SideOutcome& outcome) {
        return connectWith(endpoint, context, outcome);
    };
}

}  // namespace zentrabo::testing
