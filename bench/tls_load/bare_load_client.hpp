#pragma once
// The load generator: devices that each open a fresh TLS 1.3 connection for
// every request, send one line, read the reply line, close, and start the
// next, for a given time. Plain OpenSSL over non-blocking sockets and one
// epoll set per thread, so the client side costs as little as it can and the
// same for every target. Each thread has an OpenSSL library context of its
// own: threads that share one spend a third of their time on its locks, and
// the generator, not the target, becomes the limit.
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bare_identity.hpp"

namespace zentrabo::bench {

struct LoadSettings {
    std::uint16_t port = 0;
    std::string requestLine;  // with its line feed
    std::string expectedInReply;
    std::size_t connections = 16;
    std::size_t threads = 4;
    double seconds = 2.0;
    // False leaves Nagle's algorithm on, as a client that never thought about it does.
    bool noDelay = true;
    double requestTimeoutSeconds = 15.0;
};

struct LoadResult {
    std::size_t answered = 0;
    std::size_t failures = 0;
    double seconds = 0;
    std::vector<double> latencySeconds;

    void add(LoadResult other) {
        answered += other.answered;
        failures += other.failures;
        seconds = std::max(seconds, other.seconds);
        latencySeconds.insert(latencySeconds.end(), other.latencySeconds.begin(), other.latencySeconds.end());
    }
};

class BareLoadClient {
public:
    // A reply line longer than this is a failure, not a reason to buffer on.
    static constexpr std::size_t maximumReplySize = 64 * 1024;

    BareLoadClient(BareIdentityFiles identity, LoadSettings settings)
        : identity_(std::move(identity)), settings_(std::move(settings)) {}

    LoadResult run() {
        const std::size_t threadCount = std::clamp<std::size_t>(settings_.threads, 1, settings_.connections);
        std::vector<LoadResult> results(threadCount);
        std::vector<std::thread> threads;
        const auto started = Clock::now();
        const auto end =
            started + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(settings_.seconds));
        for (std::size_t index = 0; index < threadCount; ++index) {
            const std::size_t share =
                settings_.connections / threadCount + (index < settings_.connections % threadCount);
            threads.emplace_back([this, share, end, &result = results[index]] { result = drive(share, end); });
        }
        for (auto& thread : threads) thread.join();
        LoadResult total;
        for (auto& result : results) total.add(std::move(result));
        total.seconds = std::chrono::duration<double>(lastAnswer_ - started).count();
        if (total.seconds <= 0) total.seconds = std::chrono::duration<double>(Clock::now() - started).count();
        return total;
    }

    // One request on one blocking connection, for pairing and for learning
    // a reply: the reply line without its line feed, or empty on failure.
    static std::string exchangeOnce(SSL_CTX* context, std::uint16_t port, const std::string& requestLine) {
        const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (socket < 0) return {};
        const timeval limit{20, 0};
        ::setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        ::setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        std::string reply;
        SSL* ssl = nullptr;
        if (::connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            (ssl = SSL_new(context)) != nullptr && SSL_set_fd(ssl, socket) == 1 && SSL_connect(ssl) == 1 &&
            SSL_write(ssl, requestLine.data(), static_cast<int>(requestLine.size())) > 0) {
            char chunk[4096];
            int count = 0;
            while (reply.find('\n') == std::string::npos && reply.size() < maximumReplySize &&
                   (count = SSL_read(ssl, chunk, sizeof chunk)) > 0) {
                reply.append(chunk, static_cast<std::size_t>(count));
            }
        }
        ERR_clear_error();
        if (ssl != nullptr) SSL_free(ssl);
        ::close(socket);
        const auto lineEnd = reply.find('\n');
        return lineEnd == std::string::npos ? std::string() : reply.substr(0, lineEnd);
    }

private:
    using Clock = std::chrono::steady_clock;

    enum class Stage { connecting, handshaking, writing, reading };

    struct Connection {
        int socket = -1;
        SSL* ssl = nullptr;
        Stage stage = Stage::connecting;
        std::size_t written = 0;
        std::string reply;
        Clock::time_point started;

        ~Connection() { reset(); }
        void reset() {
            if (ssl != nullptr) SSL_free(ssl);
            if (socket >= 0) ::close(socket);
            ssl = nullptr;
            socket = -1;
        }
    };

    LoadResult drive(std::size_t connectionCount, Clock::time_point end) {
        LoadResult result;
        const std::unique_ptr<OSSL_LIB_CTX, decltype(&OSSL_LIB_CTX_free)> library(OSSL_LIB_CTX_new(),
                                                                                  OSSL_LIB_CTX_free);
        const auto context = makeBareContext(false, identity_, library.get());
        const int poll = ::epoll_create1(EPOLL_CLOEXEC);
        if (poll < 0) {
            result.failures = connectionCount;
            return result;
        }
        std::vector<std::unique_ptr<Connection>> connections;
        std::size_t open = 0;
        // A connection that ended starts the next request until the time is
        // up; a socket that cannot even be opened retires its device.
        const auto next = [&](Connection& connection) {
            connection.reset();
            if (Clock::now() < end && this->open(poll, connection)) return;
            if (connection.socket < 0 && Clock::now() < end) ++result.failures;
            --open;
        };
        for (std::size_t index = 0; index < connectionCount; ++index) {
            connections.push_back(std::make_unique<Connection>());
            ++open;
            next(*connections.back());
        }
        std::vector<epoll_event> events(64);
        Clock::time_point lastAnswer{};
        const auto timeout =
            std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(settings_.requestTimeoutSeconds));
        while (open > 0) {
            const int count = ::epoll_wait(poll, events.data(), static_cast<int>(events.size()), 100);
            for (int index = 0; index < std::max(count, 0); ++index) {
                auto& connection = *static_cast<Connection*>(events[static_cast<std::size_t>(index)].data.ptr);
                const int outcome = advance(context.get(), poll, connection);
                if (outcome == 0) continue;
                if (outcome > 0) {
                    lastAnswer = Clock::now();
                    result.latencySeconds.push_back(
                        std::chrono::duration<double>(lastAnswer - connection.started).count());
                    ++result.answered;
                } else {
                    ++result.failures;
                }
                next(connection);
            }
            const auto now = Clock::now();
            for (auto& connection : connections) {
                if (connection->socket >= 0 && now - connection->started > timeout) {
                    ++result.failures;
                    next(*connection);
                }
            }
        }
        ::close(poll);
        const std::lock_guard guard(lastAnswerMutex_);
        lastAnswer_ = std::max(lastAnswer_, lastAnswer);
        return result;
    }

    // Starts a connection; false when no socket could be opened.
    bool open(int poll, Connection& connection) {
        connection.stage = Stage::connecting;
        connection.written = 0;
        connection.reply.clear();
        connection.started = Clock::now();
        connection.socket = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (connection.socket < 0) return false;
        if (settings_.noDelay) {
            const int one = 1;
            ::setsockopt(connection.socket, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        }
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(settings_.port);
        epoll_event event{};
        event.events = EPOLLOUT;
        event.data.ptr = &connection;
        if ((::connect(connection.socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 &&
             errno != EINPROGRESS) ||
            ::epoll_ctl(poll, EPOLL_CTL_ADD, connection.socket, &event) != 0) {
            connection.reset();
            return false;
        }
        return true;
    }

    static void wait(int poll, Connection& connection, std::uint32_t events) {
        epoll_event event{};
        event.events = events;
        event.data.ptr = &connection;
        ::epoll_ctl(poll, EPOLL_CTL_MOD, connection.socket, &event);
    }

    // Moves the connection as far as its socket allows: 1 when the reply
    // came and was the expected one, -1 on failure, 0 while waiting.
    int advance(SSL_CTX* context, int poll, Connection& connection) {
        if (connection.stage == Stage::connecting) {
            int error = 0;
            socklen_t length = sizeof error;
            if (::getsockopt(connection.socket, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) return -1;
            connection.ssl = SSL_new(context);
            if (connection.ssl == nullptr || SSL_set_fd(connection.ssl, connection.socket) != 1) return -1;
            SSL_set_connect_state(connection.ssl);
            connection.stage = Stage::handshaking;
        }
        int result = 1;
        if (connection.stage == Stage::handshaking) {
            result = SSL_do_handshake(connection.ssl);
            if (result == 1) connection.stage = Stage::writing;
        }
        const std::string& line = settings_.requestLine;
        while (connection.stage == Stage::writing) {
            result = SSL_write(connection.ssl, line.data() + connection.written,
                               static_cast<int>(line.size() - connection.written));
            if (result <= 0) break;
            connection.written += static_cast<std::size_t>(result);
            if (connection.written == line.size()) connection.stage = Stage::reading;
        }
        char chunk[4096];
        while (connection.stage == Stage::reading) {
            result = SSL_read(connection.ssl, chunk, sizeof chunk);
            if (result <= 0) break;
            const std::size_t searchFrom = connection.reply.size();
            connection.reply.append(chunk, static_cast<std::size_t>(result));
            const auto lineEnd = connection.reply.find('\n', searchFrom);
            if (lineEnd != std::string::npos) {
                return connection.reply.find(settings_.expectedInReply) < lineEnd ? 1 : -1;
            }
            if (connection.reply.size() > maximumReplySize) return -1;
        }
        switch (SSL_get_error(connection.ssl, result)) {
        case SSL_ERROR_WANT_READ:
            wait(poll, connection, EPOLLIN);
            return 0;
        case SSL_ERROR_WANT_WRITE:
            wait(poll, connection, EPOLLOUT);
            return 0;
        default:
            ERR_clear_error();
            return -1;
        }
    }

    BareIdentityFiles identity_;
    LoadSettings settings_;
    std::mutex lastAnswerMutex_;
    Clock::time_point lastAnswer_{};
};

}  // namespace zentrabo::bench
