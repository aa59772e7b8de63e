#include "platform/net/tls_connection.hpp"

#include <cerrno>
#include <new>

#include <asio/experimental/as_tuple.hpp>
#include <asio/ssl/error.hpp>
#include <asio/use_awaitable.hpp>
#include <openssl/bio.h>
#include <openssl/err.h>

#include "platform/crypto/certificate.hpp"
#include "platform/crypto/crypto_error.hpp"
#include "platform/net/socket_bio.hpp"

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

// A failed OpenSSL call in the codes of Asio's TLS streams: the peer's
// close_notify ends the stream (eof), an end without it truncates it, and
// a failed socket gives its own error.
std::error_code failureOf(SSL* ssl, int reason, int systemError) {
    switch (reason) {
    case SSL_ERROR_ZERO_RETURN:
        return asio::error::eof;
    case SSL_ERROR_SYSCALL:
        if (socketBioReachedEnd(SSL_get_rbio(ssl)) || systemError == 0) return asio::ssl::error::stream_truncated;
        return {systemError, asio::error::get_system_category()};
    case SSL_ERROR_SSL:
        return {static_cast<int>(ERR_get_error()), asio::error::get_ssl_category()};
    default:
        return asio::ssl::error::unexpected_result;
    }
}

// Runs OpenSSL calls with their output caught in memory, and returns it;
// none when the calls failed or wrote nothing. The caller sends the bytes
// itself, in one send however many records the calls made.
template <class Calls>
std::optional<std::string> sealedOutput(SSL* ssl, Calls calls) {
    BIO* socketOutput = SSL_get_wbio(ssl);
    BIO* memory = BIO_new(BIO_s_mem());
    if (socketOutput == nullptr || memory == nullptr || BIO_up_ref(socketOutput) != 1) {
        BIO_free(memory);
        return std::nullopt;
    }
    SSL_set0_wbio(ssl, memory);  // takes the memory BIO, gives up a reference to the socket's
    std::optional<std::string> output;
    if (calls()) {
        char* bytes = nullptr;
        const long size = BIO_get_mem_data(memory, &bytes);
        if (bytes != nullptr && size > 0) output.emplace(bytes, static_cast<std::size_t>(size));
    }
    SSL_set0_wbio(ssl, socketOutput);  // frees the memory BIO, keeps our reference
    ERR_clear_error();
    return output;
}

}  // namespace

TlsConnection::TlsConnection(asio::ip::tcp::socket socket, std::shared_ptr<TlsContext> context)
    : context_(std::move(context)), socket_(std::move(socket)), ssl_(SSL_new(context_->native().native_handle())) {
    BIO* bio = newSocketBio(socket_);
    if (!ssl_ || bio == nullptr) {
        BIO_free(bio);
        throw CryptoError("TLS session");
    }
    SSL* ssl = ssl_.get();
    SSL_set_bio(ssl, bio, bio);  // one BIO both ways, owned by the session
    // A connection here lives for one request or one stream: its record
    // buffers are kept rather than given back whenever they are empty.
    SSL_clear_mode(ssl, SSL_MODE_RELEASE_BUFFERS);
    // Each read takes what the socket holds, up to the record buffer,
    // rather than a record's header and then its body.
    SSL_set_read_ahead(ssl, 1);
    if (context_->role() == TlsRole::server) {
        SSL_set_accept_state(ssl);
    } else {
        SSL_set_connect_state(ssl);
    }
    TlsContext::recordAcceptedPeerFingerprint(ssl, &peerFingerprint_);
}

template <class Call, class BeforeWaiting>
asio::awaitable<std::error_code> TlsConnection::complete(Call call, BeforeWaiting beforeWaiting) {
    for (;;) {
        ERR_clear_error();
        errno = 0;
        const int result = call();
        const int systemError = errno;
        if (result > 0) co_return std::error_code();
        const int reason = SSL_get_error(ssl_.get(), result);
        if (reason != SSL_ERROR_WANT_READ && reason != SSL_ERROR_WANT_WRITE)
            co_return failureOf(ssl_.get(), reason, systemError);
        const auto readiness =
            reason == SSL_ERROR_WANT_READ ? asio::socket_base::wait_read : asio::socket_base::wait_write;
        beforeWaiting();
        auto [error] = co_await socket_.async_wait(readiness, asTuple);
        if (error) co_return error;
    }
}

asio::awaitable<std::error_code> TlsConnection::handshake() {
    SSL* ssl = ssl_.get();
    const std::error_code error = co_await complete([ssl] { return SSL_do_handshake(ssl); });
    if (error) {
        peerFingerprint_.reset();
    } else if (!peerFingerprint_) {
        // The check saw no certificate to record.
        peerFingerprint_ = peerFingerprintOf(ssl);
    }
    co_return error;
}

asio::awaitable<std::tuple<std::error_code, std::size_t>> TlsConnection::readSome(asio::mutable_buffer buffer) {
    SSL* ssl = ssl_.get();
    std::size_t count = 0;
    std::error_code error =
        co_await complete([ssl, buffer, &count] { return SSL_read_ex(ssl, buffer.data(), buffer.size(), &count); });
    if (error == asio::ssl::error::stream_truncated) error = asio::error::eof;
    co_return std::tuple<std::error_code, std::size_t>{error, error ? 0 : count};
}

asio::awaitable<std::error_code> TlsConnection::writeAll(asio::const_buffer buffer) {
    return writeAll(buffer, [] {});
}

asio::awaitable<std::error_code> TlsConnection::writeAll(asio::const_buffer buffer,
                                                         std::function<void()> beforeWaiting) {
    if (buffer.size() == 0) co_return std::error_code();
    SSL* ssl = ssl_.get();
    std::size_t written = 0;
    // Without partial writes, SSL_write_ex succeeds once all of it is out,
    // and is repeated with the same buffer after a wait.
    co_return co_await complete(
        [ssl, buffer, &written] { return SSL_write_ex(ssl, buffer.data(), buffer.size(), &written); }, beforeWaiting);
}

asio::awaitable<std::error_code> TlsConnection::shutdown() {
    SSL* ssl = ssl_.get();
    // The first call sends close_notify and answers 0; the next ones wait
    // for the peer's.
    std::error_code error = co_await complete([ssl] {
        const int result = SSL_shutdown(ssl);
        return result == 0 ? SSL_shutdown(ssl) : result;
    });
    if (error == asio::ssl::error::stream_truncated || error == asio::error::eof) error = {};
    co_return error;
}

asio::awaitable<std::error_code> TlsConnection::writeFinal(asio::const_buffer buffer,
                                                           std::function<void()> beforeWaiting) {
    if (buffer.size() > largestSealedMessage) {
        // A large message goes out a record at a time: sealed whole it
        // would be held in memory encrypted, and copied.
        const std::error_code written = co_await writeAll(buffer, beforeWaiting);
        if (written) co_return written;
        buffer = {};
    }
    SSL* ssl = ssl_.get();
    auto output = sealedOutput(ssl, [&] {
        const int size = static_cast<int>(buffer.size());
        if (size > 0 && SSL_write(ssl, buffer.data(), size) != size) return false;
        return SSL_shutdown(ssl) >= 0;
    });
    if (!output) co_return std::make_error_code(std::errc::io_error);
    // Sent through the session's own BIO: a message the socket takes at
    // once is out without a wait.
    BIO* socketOutput = SSL_get_wbio(ssl);
    for (std::size_t sent = 0; sent < output->size();) {
        std::size_t count = 0;
        errno = 0;
        if (BIO_write_ex(socketOutput, output->data() + sent, output->size() - sent, &count) == 1) {
            sent += count;
            continue;
        }
        if (!BIO_should_retry(socketOutput)) {
            // A failure without an errno is still a failure.
            const int failure = errno != 0 ? errno : EIO;
            co_return std::error_code(failure, asio::error::get_system_category());
        }
        beforeWaiting();
        auto [error] = co_await socket_.async_wait(asio::socket_base::wait_write, asTuple);
        if (error) co_return error;
    }
    co_return std::error_code();
}

void TlsConnection::sendCloseNotify() noexcept {
    SSL* ssl = ssl_.get();
    if (SSL_is_init_finished(ssl) != 1 || (SSL_get_shutdown(ssl) & SSL_SENT_SHUTDOWN) != 0) return;
    // The socket never blocks: a peer that stopped reading loses the alert,
    // not the caller its time.
    ERR_clear_error();
    (void)SSL_shutdown(ssl);
    ERR_clear_error();
}

void TlsConnection::close() noexcept {
    std::error_code ignored;
    socket_.close(ignored);
}

}  // namespace zentrabo::platform
