#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <tuple>

#include <asio/awaitable.hpp>
#include <asio/buffer.hpp>
#include <asio/ip/tcp.hpp>
#include <openssl/ssl.h>

#include "platform/net/tls_context.hpp"

namespace zentrabo::platform {

// One TLS connection over a connected TCP socket. After a successful
// handshake it holds the fingerprint of the certificate the peer presented,
// so every request on it can be judged by that fingerprint. Operations of
// one connection must not overlap except one read beside one write, and
// run on one thread at a time (the socket's strand).
//
// OpenSSL reads and writes the non-blocking socket itself; whenever it
// would block, the operation waits on the socket's readiness.
class TlsConnection {
public:
    TlsConnection(asio::ip::tcp::socket socket, std::shared_ptr<TlsContext> context);
    // Its handshake writes the peer's fingerprint into the object itself.
    TlsConnection(const TlsConnection&) = delete;
    TlsConnection& operator=(const TlsConnection&) = delete;

    // Runs the handshake in the context's role; on success records the peer's
    // certificate fingerprint.
    asio::awaitable<std::error_code> handshake();

    // SHA-256 of the DER bytes of the peer's leaf certificate as 64 lowercase
    // hexadecimal digits; none before the handshake or when the peer presented
    // no certificate.
    const std::optional<std::string>& peerCertificateFingerprint() const noexcept { return peerFingerprint_; }

    // Reads what is available, at most the buffer's size. A peer that ends the
    // stream without a TLS close_notify is treated as ending it cleanly: both
    // give asio::error::eof.
    asio::awaitable<std::tuple<std::error_code, std::size_t>> readSome(asio::mutable_buffer buffer);

    // Writes the whole buffer. With beforeWaiting: called each time the
    // write has to wait for the socket, and never when it goes out at once.
    asio::awaitable<std::error_code> writeAll(asio::const_buffer buffer);
    asio::awaitable<std::error_code> writeAll(asio::const_buffer buffer, std::function<void()> beforeWaiting);

    // Sends close_notify and waits for the peer's (bounded by the caller).
    asio::awaitable<std::error_code> shutdown();

    // Writes the session's last message with its close_notify right behind
    // it, in one send for a message of one record: a peer that reads the
    // message finds the clean end with it, and nothing is sent after the
    // peer may have gone. Reading goes on; nothing may be written after it.
    // beforeWaiting is called each time the write has to wait for the
    // socket, and never when the message goes out at once.
    asio::awaitable<std::error_code> writeFinal(asio::const_buffer buffer, std::function<void()> beforeWaiting);

    // Sends close_notify without waiting, when a session exists and nothing
    // of it can block: a peer that checks sees the end of the stream as
    // intended, not cut. Call only while no write is in flight; what the
    // socket cannot take at once is dropped, and the peer's close_notify is
    // not awaited. Does nothing once close_notify was sent.
    void sendCloseNotify() noexcept;

    // Closes the TCP socket at once; pending operations end with an error.
    void close() noexcept;

    asio::ip::tcp::socket::executor_type executor() { return socket_.get_executor(); }
    asio::ip::tcp::socket& socket() noexcept { return socket_; }

private:
    struct SessionFree {
        void operator()(SSL* ssl) const noexcept { SSL_free(ssl); }
    };

    struct NothingBeforeWaiting {
        void operator()() const noexcept {}
    };

    // Repeats call (an OpenSSL operation on the session, returning its
    // result) until it succeeds or fails, waiting for the socket whenever
    // OpenSSL asks to read or write. SSL_shutdown's 0, close_notify sent
    // but the peer's not yet received, counts as wanting to read.
    // beforeWaiting runs before each wait.
    template <class Call, class BeforeWaiting = NothingBeforeWaiting>
    asio::awaitable<std::error_code> complete(Call call, BeforeWaiting beforeWaiting = {});

    std::shared_ptr<TlsContext> context_;  // outlives the session: its check is used by the handshake
    asio::ip::tcp::socket socket_;
    std::unique_ptr<SSL, SessionFree> ssl_;
    std::optional<std::string> peerFingerprint_;
};

}  // namespace zentrabo::platform
