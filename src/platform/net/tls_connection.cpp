#include "platform/net/tls_connection.hpp"

#include <asio/experimental/as_tuple.hpp>
#include <asio/ssl/error.hpp>
#include <asio/use_awaitable.hpp>
#include <asio/write.hpp>
#include <openssl/ssl.h>

#include "platform/crypto/certificate.hpp"

namespace zentrabo::platform {
namespace {

constexpr auto asTuple = asio::experimental::as_tuple(asio::use_awaitable);

std::optional<std::string> peerFingerprintOf(SSL* ssl) {
    const auto leaf = Certificate::fromNative(SSL_get0_peer_certificate(ssl));
    if (!leaf) return std::nullopt;
    return leaf->sha256Fingerprint();
}

}  // namespace

TlsConnection::TlsConnection(asio::ip::tcp::socket socket, std::shared_ptr<TlsContext> context)
    : context_(std::move(context)), stream_(std::move(socket), context_->native()) {}

asio::awaitable<std::error_code> TlsConnection::handshake() {
    const auto type = context_->role() == TlsRole::server ? Stream::server : Stream::client;
    auto [error] = co_await stream_.async_handshake(type, asTuple);
    if (!error) peerFingerprint_ = peerFingerprintOf(stream_.native_handle());
    co_return error;
}

asio::awaitable<std::tuple<std::error_code, std::size_t>> TlsConnection::readSome(asio::mutable_buffer buffer) {
    auto [error, count] = co_await stream_.async_read_some(buffer, asTuple);
    if (error == asio::ssl::error::stream_truncated) error = asio::error::eof;
    co_return std::tuple<std::error_code, std::size_t>{error, count};
}

asio::awaitable<std::error_code> TlsConnection::writeAll(asio::const_buffer buffer) {
    auto [error, count] = co_await asio::async_write(stream_, buffer, asTuple);
    (void)count;
    co_return error;
}

asio::awaitable<std::error_code> TlsConnection::shutdown() {
    auto [error] = co_await stream_.async_shutdown(asTuple);
    if (error == asio::ssl::error::stream_truncated || error == asio::error::eof) error = {};
    co_return error;
}

void TlsConnection::close() noexcept {
    std::error_code ignored;
    stream_.next_layer().shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
    stream_.next_layer().close(ignored);
}

}  // namespace zentrabo::platform
