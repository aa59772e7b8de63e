#include "platform/net/tls_connection.hpp"

#include <new>

#include <asio/experimental/as_tuple.hpp>
#include <asio/ssl/error.hpp>
#include <asio/use_awaitable.hpp>
#include <asio/write.hpp>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>

#include "platform/crypto/certificate.hpp"

namespace zentrabo::platform {
namespace {

constexpr auto asTuple = asio::experimental::as_tuple(asio::use_awaitable);

// The most a final message may hold to be sealed with its close_notify in
// one send: one TLS record, which one SSL_write takes whole.
constexpr std::size_t largestSealedMessage = 16 * 1024;

std::optional<std::string> peerFingerprintOf(SSL* ssl) {
    const auto leaf = Certificate::fromNative(SSL_get0_peer_certificate(ssl));
    if (!leaf) return std::nullopt;
    return leaf->sha256Fingerprint();
}

// Runs OpenSSL calls with their output caught in memory, and returns it;
// none when the calls failed or wrote nothing. The stream's engine hands
// OpenSSL's output over through a BIO pair that only its own operations
// empty, so a memory BIO takes the engine's place for the calls, and the
// caller sends the bytes itself.
template <class Calls>
std::optional<std::string> sealedOutput(SSL* ssl, Calls calls) {
    BIO* engineOutput = SSL_get_wbio(ssl);
    BIO* memory = BIO_new(BIO_s_mem());
    if (engineOutput == nullptr || memory == nullptr || BIO_up_ref(engineOutput) != 1) {
        BIO_free(memory);
        return std::nullopt;
    }
    SSL_set0_wbio(ssl, memory);  // takes the memory BIO, gives up a reference to the engine's
    std::optional<std::string> output;
    if (calls()) {
        char* bytes = nullptr;
        const long size = BIO_get_mem_data(memory, &bytes);
        if (bytes != nullptr && size > 0) output.emplace(bytes, static_cast<std::size_t>(size));
    }
    SSL_set0_wbio(ssl, engineOutput);  // frees the memory BIO, keeps our reference
    ERR_clear_error();
    return output;
}

}  // namespace

TlsConnection::TlsConnection(asio::ip::tcp::socket socket, std::shared_ptr<TlsContext> context)
    : context_(std::move(context)), stream_(std::move(socket), context_->native()) {
    SSL* ssl = stream_.native_handle();
    // The stream's engine asks OpenSSL to give its record buffers back
    // whenever they are empty, which frees and allocates them again for
    // nearly every record of a handshake; a connection here lives for one
    // request or one stream, and keeps them.
    SSL_clear_mode(ssl, SSL_MODE_RELEASE_BUFFERS);
    TlsContext::recordAcceptedPeerFingerprint(ssl, &peerFingerprint_);
}

asio::awaitable<std::error_code> TlsConnection::handshake() {
    const auto type = context_->role() == TlsRole::server ? Stream::server : Stream::client;
    auto [error] = co_await stream_.async_handshake(type, asTuple);
    if (error) {
        peerFingerprint_.reset();
    } else if (!peerFingerprint_) {
        // The check saw no certificate to record.
        peerFingerprint_ = peerFingerprintOf(stream_.native_handle());
    }
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

asio::awaitable<std::error_code> TlsConnection::writeFinal(asio::const_buffer buffer) {
    if (buffer.size() > largestSealedMessage) {
        // A large message goes through the engine a record at a time:
        // sealed whole it would be held in memory encrypted, and copied.
        const std::error_code written = co_await writeAll(buffer);
        if (written) co_return written;
        buffer = {};
    }
    SSL* ssl = stream_.native_handle();
    auto output = sealedOutput(ssl, [&] {
        const int size = static_cast<int>(buffer.size());
        if (size > 0 && SSL_write(ssl, buffer.data(), size) != size) return false;
        return SSL_shutdown(ssl) >= 0;
    });
    if (!output) co_return std::make_error_code(std::errc::io_error);
    auto [error, count] = co_await asio::async_write(stream_.next_layer(), asio::buffer(*output), asTuple);
    (void)count;
    co_return error;
}

void TlsConnection::sendCloseNotify() noexcept {
    SSL* ssl = stream_.native_handle();
    if (SSL_is_init_finished(ssl) != 1 || (SSL_get_shutdown(ssl) & SSL_SENT_SHUTDOWN) != 0) return;
    try {
        const auto alert = sealedOutput(ssl, [&] { return SSL_shutdown(ssl) >= 0; });
        if (!alert) return;
        // The socket never blocks here: a peer that stopped reading loses
        // the alert, not the caller its time.
        std::error_code error;
        auto& socket = stream_.next_layer();
        socket.non_blocking(true, error);
        if (!error) (void)socket.send(asio::buffer(*alert), 0, error);
    } catch (const std::bad_alloc&) {
        // The alert is lost; the connection closes all the same.
    }
}

void TlsConnection::close() noexcept {
    std::error_code ignored;
    stream_.next_layer().shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
    stream_.next_layer().close(ignored);
}

}  // namespace zentrabo::platform
